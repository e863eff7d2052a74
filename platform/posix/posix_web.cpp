// HTTPS for the native build: HTTP/1.1 over the POSIX transport, whose TLS
// is OpenSSL's with the certificate verified against the given roots.
#include <cctype>
#include <cstdlib>

#include "platform/deadline.h"
#include "platform/posix/posix_services.h"
#include "platform/posix/posix_transport.h"

namespace {

// A response's head is never near this.
constexpr size_t kMaxHead = 16 * 1024;

struct Url {
  std::string host;
  uint16_t port = 443;
  std::string hostHeader;
  std::string target;
};

bool ParseHttpsUrl(const std::string& url, Url& parts) {
  const std::string scheme = "https://";
  if (url.compare(0, scheme.size(), scheme) != 0) return false;
  const size_t authorityEnd = url.find_first_of("/?#", scheme.size());
  parts.hostHeader = url.substr(scheme.size(), authorityEnd - scheme.size());
  parts.target = authorityEnd == std::string::npos ? "/" : url.substr(authorityEnd);
  if (parts.target[0] != '/') parts.target.insert(0, "/");
  const std::string& authority = parts.hostHeader;
  if (authority.empty() || authority.find('@') != std::string::npos) return false;
  size_t portAt = authority.rfind(':');
  if (authority[0] == '[') {
    const size_t close = authority.find(']');
    if (close == std::string::npos) return false;
    parts.host = authority.substr(1, close - 1);
    portAt = close + 1 < authority.size() && authority[close + 1] == ':' ? close + 1
                                                                          : std::string::npos;
  } else {
    parts.host = authority.substr(0, portAt);
  }
  if (portAt != std::string::npos) {
    const long port = std::strtol(authority.c_str() + portAt + 1, nullptr, 10);
    if (port < 1 || port > 65535) return false;
    parts.port = static_cast<uint16_t>(port);
  }
  return !parts.host.empty();
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The chunked body decoded; false while it has not ended.
bool Dechunk(const std::string& raw, size_t at, std::string& body) {
  body.clear();
  for (;;) {
    const size_t lineEnd = raw.find("\r\n", at);
    if (lineEnd == std::string::npos) return false;
    char* end = nullptr;
    const unsigned long size = std::strtoul(raw.c_str() + at, &end, 16);
    if (end == raw.c_str() + at || size > kMaxWebBody) return false;
    at = lineEnd + 2;
    if (size == 0) return true;
    if (raw.size() < at + size + 2) return false;
    body.append(raw, at, size);
    at += size + 2;
  }
}

// Whether raw holds the whole response; status and body are then filled.
// closed: the server has ended the connection, which ends a body of no
// stated length.
bool WholeResponse(const std::string& raw, bool closed, WebResponse& response) {
  const size_t headEnd = raw.find("\r\n\r\n");
  if (headEnd == std::string::npos) return false;
  if (raw.compare(0, 5, "HTTP/") != 0) return false;
  const size_t space = raw.find(' ');
  response.status = std::atoi(raw.c_str() + space + 1);
  long length = -1;
  bool chunked = false;
  for (size_t line = raw.find("\r\n") + 2; line < headEnd;) {
    const size_t next = raw.find("\r\n", line);
    const std::string header = Lower(raw.substr(line, next - line));
    if (header.compare(0, 15, "content-length:") == 0)
      length = std::strtol(header.c_str() + 15, nullptr, 10);
    if (header.compare(0, 18, "transfer-encoding:") == 0 &&
        header.find("chunked") != std::string::npos)
      chunked = true;
    line = next + 2;
  }
  const size_t bodyAt = headEnd + 4;
  if (chunked) return Dechunk(raw, bodyAt, response.body);
  if (length >= 0) {
    if (raw.size() < bodyAt + static_cast<size_t>(length)) return false;
    response.body = raw.substr(bodyAt, static_cast<size_t>(length));
    return true;
  }
  response.body = raw.substr(bodyAt);
  return closed;
}

class PosixWeb : public Web {
 public:
  explicit PosixWeb(std::string caFile) : m_strCaFile(std::move(caFile)) {}

  WebResponse Send(const WebRequest& request) override {
    WebResponse response;
    Url url;
    if (!ParseHttpsUrl(request.url, url)) return response;
    const Deadline limit(request.timeoutMs);
    std::unique_ptr<Transport> transport = CreatePosixTransport(m_strCaFile);
    if (!transport->Startup() || !transport->Resolve(url.host, url.port, limit.MsLeft()) ||
        transport->Connect(limit.MsLeft()) != ConnectResult::kConnected)
      return response;
    switch (transport->StartSecure(url.host, limit.MsLeft())) {
      case SecureResult::kSecured:
        break;
      case SecureResult::kUntrusted:
        response.result = WebResult::kUntrusted;
        return response;
      case SecureResult::kHandshakeFailed:
        return response;
    }
    std::string head = request.method + " " + url.target + " HTTP/1.1\r\nHost: " +
                       url.hostHeader + "\r\nAccept: application/json\r\nConnection: close\r\n";
    if (!request.body.empty() || request.method == "POST")
      head += "Content-Type: " + request.contentType +
              "\r\nContent-Length: " + std::to_string(request.body.size()) + "\r\n";
    if (!transport->Send(head + "\r\n" + request.body, limit.MsLeft())) return response;

    std::string raw;
    char chunk[4096];
    for (;;) {
      const int left = limit.MsLeft();
      const int count = left > 0 ? transport->Receive(chunk, sizeof chunk, left) : -1;
      if (count < 0) return WebResponse();
      raw.append(chunk, static_cast<size_t>(count));
      if (raw.size() > kMaxHead + kMaxWebBody) return WebResponse();
      if (WholeResponse(raw, count == 0, response)) break;
      if (count == 0) return WebResponse();
    }
    if (response.body.size() > kMaxWebBody) return WebResponse();
    response.result = WebResult::kAnswered;
    return response;
  }

 private:
  std::string m_strCaFile;
};

}  // namespace

std::unique_ptr<Web> CreatePosixWeb(const std::string& caFile) {
  return std::make_unique<PosixWeb>(caFile);
}
