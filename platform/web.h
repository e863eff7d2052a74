#pragma once

#include <cstddef>
#include <string>

// The most a response body may hold: token responses are far smaller.
constexpr size_t kMaxWebBody = 64 * 1024;

// One HTTPS request.
struct WebRequest {
  std::string method = "POST";
  std::string url;  // https:// only
  std::string contentType;
  std::string body;
  int timeoutMs = 30000;
};

// How a request ended.
enum class WebResult {
  kAnswered,  // the server answered: status and body hold what it said
  kUntrusted, // the server's certificate did not verify: nothing was sent
  kFailed,    // no whole answer in time, a URL that is not https, or a body over the limit
};

struct WebResponse {
  WebResult result = WebResult::kFailed;
  int status = 0;
  std::string body;
};

// HTTPS requests, with TLS and the certificate verified as the system does
// and through the user's proxy where the system has one. Redirects are not
// followed: what is sent goes to the URL's host alone. May be called from
// any thread.
class Web {
 public:
  virtual ~Web() = default;

  // Sends the request and waits for the whole answer within its time limit.
  virtual WebResponse Send(const WebRequest& request) = 0;
};
