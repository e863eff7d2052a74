// A loopback listener whose queue is full and never accepted from: a further
// connect to it stays unanswered, as to a dead host, without any network.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

class UnansweringListener {
 public:
  // address is a literal IPv4 or IPv6 address; port 0 picks a free one.
  UnansweringListener(const std::string& address, uint16_t port) {
    sockaddr_storage storage{};
    socklen_t length = 0;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
    if (inet_pton(AF_INET, address.c_str(), &v4->sin_addr) == 1) {
      v4->sin_family = AF_INET;
      v4->sin_port = htons(port);
      length = sizeof *v4;
    } else if (inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) == 1) {
      v6->sin6_family = AF_INET6;
      v6->sin6_port = htons(port);
      length = sizeof *v6;
    }
    m_listener = socket(storage.ss_family, SOCK_STREAM, 0);
    const int yes = 1;
    setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (bind(m_listener, reinterpret_cast<sockaddr*>(&storage), length) != 0 ||
        listen(m_listener, 0) != 0 ||
        getsockname(m_listener, reinterpret_cast<sockaddr*>(&storage), &length) != 0)
      return;
    m_nPort = ntohs(storage.ss_family == AF_INET ? v4->sin_port : v6->sin6_port);
    // Fill the queue until a connect is no longer answered.
    for (int i = 0; i < 16; ++i) {
      const int client = socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK, 0);
      m_clients.push_back(client);
      connect(client, reinterpret_cast<sockaddr*>(&storage), length);
      pollfd entry{client, POLLOUT, 0};
      if (poll(&entry, 1, 100) == 0) {
        m_bFull = true;
        return;
      }
    }
  }
  ~UnansweringListener() {
    for (int client : m_clients) close(client);
    if (m_listener >= 0) close(m_listener);
  }
  UnansweringListener(const UnansweringListener&) = delete;
  UnansweringListener& operator=(const UnansweringListener&) = delete;

  // True once a connect to it is left unanswered.
  bool Full() const { return m_bFull; }
  uint16_t Port() const { return m_nPort; }

 private:
  int m_listener = -1;
  uint16_t m_nPort = 0;
  bool m_bFull = false;
  std::vector<int> m_clients;
};
