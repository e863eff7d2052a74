#include "check/signin/redirect_request.h"

#include <map>

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The query's parameters; false when one is broken or comes twice, which
// no authorization server sends.
bool ReadQuery(const std::string& query, std::map<std::string, std::string>& parameters) {
  for (size_t start = 0; start <= query.size();) {
    size_t end = query.find('&', start);
    if (end == std::string::npos) end = query.size();
    const std::string pair = query.substr(start, end - start);
    start = end + 1;
    if (pair.empty()) continue;
    const size_t equals = pair.find('=');
    std::string name;
    std::string value;
    if (!DecodeQueryValue(pair.substr(0, equals), name) ||
        (equals != std::string::npos && !DecodeQueryValue(pair.substr(equals + 1), value)) ||
        !parameters.emplace(name, value).second)
      return false;
  }
  return true;
}

RedirectRequest Other() {
  RedirectRequest request;
  request.kind = RedirectKind::kOther;
  return request;
}

std::string Page(const char* text) {
  const std::string body = std::string("<!DOCTYPE html><html><head><meta charset=\"utf-8\">"
                                       "<title>Tarvik</title></head><body><p>") +
                           text + "</p></body></html>";
  return "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
         std::to_string(body.size()) +
         "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n" + body;
}

}  // namespace

bool DecodeQueryValue(const std::string& text, std::string& value) {
  value.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      value += ' ';
    } else if (text[i] != '%') {
      value += text[i];
    } else {
      if (i + 2 >= text.size()) return false;
      const int high = HexDigit(text[i + 1]);
      const int low = HexDigit(text[i + 2]);
      if (high < 0 || low < 0) return false;
      value += static_cast<char>(high << 4 | low);
      i += 2;
    }
  }
  return true;
}

RedirectRequest ReadRedirect(const std::string& received, const std::string& state) {
  const size_t headEnd = received.find("\r\n\r\n");
  if (headEnd == std::string::npos || headEnd + 4 > kMaxRedirectRequest)
    return received.size() >= kMaxRedirectRequest ? Other() : RedirectRequest();
  const std::string line = received.substr(0, received.find("\r\n"));
  const std::string prefix = "GET /?";
  const size_t targetEnd = line.find(' ', prefix.size());
  const std::string version =
      targetEnd == std::string::npos ? std::string() : line.substr(targetEnd);
  if (line.compare(0, prefix.size(), prefix) != 0 ||
      (version != " HTTP/1.1" && version != " HTTP/1.0"))
    return Other();
  std::string query = line.substr(prefix.size(), targetEnd - prefix.size());
  query = query.substr(0, query.find('#'));
  std::map<std::string, std::string> parameters;
  // The state is the proof that the redirect answers this sign-in (RFC 6749
  // section 10.12); without it nothing else in the request counts.
  if (!ReadQuery(query, parameters) || state.empty() || parameters["state"] != state)
    return Other();
  RedirectRequest request;
  if (!parameters["error"].empty()) {
    request.kind = RedirectKind::kError;
    request.error = parameters["error"];
    request.description = parameters["error_description"];
  } else if (!parameters["code"].empty()) {
    request.kind = RedirectKind::kCode;
    request.code = parameters["code"];
  } else {
    return Other();
  }
  return request;
}

std::string RedirectAnswer(RedirectKind kind) {
  switch (kind) {
    case RedirectKind::kCode:
      return Page("Signed in: you may close this window");
    case RedirectKind::kError:
      return Page("Sign-in did not complete: you may close this window");
    case RedirectKind::kIncomplete:
    case RedirectKind::kOther:
      break;
  }
  return "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
}
