#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "check/signin/base64.h"
#include "platform/web.h"

// The web as a test scripts it: each request is recorded and gets the next
// answer, the last one again once they run out, or a failure when there is none.
class FakeWeb : public Web {
 public:
  WebResponse Send(const WebRequest& request) override {
    const std::lock_guard<std::mutex> lock(m_mutex);
    requests.push_back(request);
    if (answers.empty()) return WebResponse();
    const WebResponse answer = answers.front();
    if (answers.size() > 1) answers.erase(answers.begin());
    return answer;
  }
  std::vector<WebRequest> Requests() {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return requests;
  }

  static WebResponse Answer(int status, const std::string& body) {
    return {WebResult::kAnswered, status, body};
  }
  // An id_token whose claims hold the name; its signature is not looked at.
  static std::string IdToken(const std::string& name) {
    return Base64Url(R"({"alg":"RS256"})") + "." +
           Base64Url(R"({"preferred_username":")" + name + R"(","tid":"x"})") + ".c2ln";
  }
  // A token endpoint's grant of an access and a refresh token, for account.
  static WebResponse Granted(const std::string& access, const std::string& refresh,
                             const std::string& account = "zoe@example.com") {
    return Answer(200, R"({"access_token":")" + access + R"(","refresh_token":")" + refresh +
                           R"(","expires_in":3599,"id_token":")" + IdToken(account) + "\"}");
  }

  std::vector<WebRequest> requests;
  std::vector<WebResponse> answers;

 private:
  std::mutex m_mutex;
};
