#pragma once

#include <mutex>
#include <string>
#include <vector>

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

  std::vector<WebRequest> requests;
  std::vector<WebResponse> answers;

 private:
  std::mutex m_mutex;
};
