#pragma once

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/posix_transport.h"

// The browser: once opened on the authorize URL, it visits the redirect's
// port as scripted, each visit's "STATE" standing for the flow's state, and
// keeps the first line of each answer. An empty visit is a connection that
// never sends anything, open until the browser goes.
class FakeBrowser {
 public:
  explicit FakeBrowser(std::vector<std::string> visits) : m_visits(std::move(visits)) {}
  ~FakeBrowser() {
    if (m_thread.joinable()) m_thread.join();
  }

  bool Open(const std::string& url) {
    authorizeUrl = url;
    const std::string portAt = "redirect_uri=http%3A%2F%2F127.0.0.1%3A";
    const uint16_t port = static_cast<uint16_t>(std::stoi(url.substr(url.find(portAt) + portAt.size())));
    const size_t stateAt = url.find("&state=") + 7;
    const std::string state = url.substr(stateAt, url.find('&', stateAt) - stateAt);
    m_thread = std::thread([this, port, state] {
      for (std::string visit : m_visits) {
        auto connection = CreatePosixTransport();
        if (!connection->Startup() || !connection->Resolve("127.0.0.1", port, 1000) ||
            connection->Connect(1000) != ConnectResult::kConnected)
          continue;
        if (visit.empty()) {
          m_idle.push_back(std::move(connection));
          continue;
        }
        const size_t at = visit.find("STATE");
        if (at != std::string::npos) visit.replace(at, 5, state);
        connection->Send(visit + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", 1000);
        std::string answer;
        char chunk[1024];
        for (int count; (count = connection->Receive(chunk, sizeof chunk, 5000)) > 0;)
          answer.append(chunk, static_cast<size_t>(count));
        answers.push_back(answer.substr(0, answer.find("\r\n")));
      }
    });
    return true;
  }

  std::string authorizeUrl;
  std::vector<std::string> answers;

 private:
  std::vector<std::string> m_visits;
  std::vector<std::unique_ptr<Transport>> m_idle;
  std::thread m_thread;
};
