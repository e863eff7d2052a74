// HTTPS through WinHTTP: the system's TLS, its certificate checks and the
// user's proxy, with nothing of the program's own in between.
#include "platform/win32/win32_services.h"

#include <windows.h>
#include <winhttp.h>

#include "platform/deadline.h"
#include "platform/win32/wide_text.h"

namespace {

constexpr wchar_t kAgent[] = L"Tarvik";

class Handle {
 public:
  explicit Handle(HINTERNET handle = nullptr) : m_handle(handle) {}
  ~Handle() {
    if (m_handle) WinHttpCloseHandle(m_handle);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HINTERNET Get() const { return m_handle; }

 private:
  HINTERNET m_handle;
};

// What the system's functions handed out with GlobalAlloc.
void Free(LPWSTR text) {
  if (text) GlobalFree(text);
}

// Windows 7 has no WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY: there the proxy is
// the one the user set in Internet Options, found for this very URL when it
// comes from a script or from detection.
void UseUsersProxy(HINTERNET session, HINTERNET request, const std::wstring& url) {
  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG user{};
  if (!WinHttpGetIEProxyConfigForCurrentUser(&user)) return;
  WINHTTP_PROXY_INFO found{};
  bool scripted = false;
  if (user.fAutoDetect || user.lpszAutoConfigUrl) {
    WINHTTP_AUTOPROXY_OPTIONS options{};
    if (user.lpszAutoConfigUrl) {
      options.dwFlags |= WINHTTP_AUTOPROXY_CONFIG_URL;
      options.lpszAutoConfigUrl = user.lpszAutoConfigUrl;
    }
    if (user.fAutoDetect) {
      options.dwFlags |= WINHTTP_AUTOPROXY_AUTO_DETECT;
      options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
    }
    options.fAutoLogonIfChallenged = TRUE;
    scripted = WinHttpGetProxyForUrl(session, url.c_str(), &options, &found) != FALSE;
  }
  if (scripted) {
    WinHttpSetOption(request, WINHTTP_OPTION_PROXY, &found, sizeof found);
  } else if (user.lpszProxy) {
    WINHTTP_PROXY_INFO named{};
    named.dwAccessType = WINHTTP_ACCESS_TYPE_NAMED_PROXY;
    named.lpszProxy = user.lpszProxy;
    named.lpszProxyBypass = user.lpszProxyBypass;
    WinHttpSetOption(request, WINHTTP_OPTION_PROXY, &named, sizeof named);
  }
  Free(found.lpszProxy);
  Free(found.lpszProxyBypass);
  Free(user.lpszAutoConfigUrl);
  Free(user.lpszProxy);
  Free(user.lpszProxyBypass);
}

// Each wait gets what is left of the request's one limit; the wait for the
// response's head has a limit of its own.
bool LimitTo(HINTERNET request, const Deadline& limit) {
  DWORD left = static_cast<DWORD>(limit.MsLeft());
  return left > 0 && WinHttpSetTimeouts(request, left, left, left, left) &&
         WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &left, sizeof left);
}

// A session with the system's automatic proxy where it has one (Windows 8.1
// on); automatic tells whether it does.
HINTERNET OpenSession(bool& automatic) {
  HINTERNET session = WinHttpOpen(kAgent, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                  WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
  automatic = session != nullptr;
  if (session) return session;
  return WinHttpOpen(kAgent, WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                     WINHTTP_NO_PROXY_BYPASS, 0);
}

WebResult Failure() {
  return GetLastError() == ERROR_WINHTTP_SECURE_FAILURE ? WebResult::kUntrusted
                                                        : WebResult::kFailed;
}

class WinHttpWeb : public Web {
 public:
  WebResponse Send(const WebRequest& request) override {
    WebResponse response;
    const Deadline limit(request.timeoutMs);
    const std::wstring url = Widen(request.url);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = DWORD(-1);
    if (!WinHttpCrackUrl(url.c_str(), 0, 0, &parts) || parts.nScheme != INTERNET_SCHEME_HTTPS)
      return response;
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    const std::wstring target = std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength) +
                                std::wstring(parts.lpszExtraInfo, parts.dwExtraInfoLength);

    bool automatic = false;
    const Handle session(OpenSession(automatic));
    if (!session.Get()) return response;
    // Windows 7 and 8 offer TLS 1.2 only when asked; older systems refuse 1.3.
    DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3;
    if (!WinHttpSetOption(session.Get(), WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols,
                          sizeof protocols)) {
      protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
      WinHttpSetOption(session.Get(), WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols,
                       sizeof protocols);
    }
    const Handle connection(WinHttpConnect(session.Get(), host.c_str(), parts.nPort, 0));
    const Handle call(connection.Get() ? WinHttpOpenRequest(connection.Get(),
                                                            Widen(request.method).c_str(),
                                                            target.c_str(), nullptr,
                                                            WINHTTP_NO_REFERER,
                                                            WINHTTP_DEFAULT_ACCEPT_TYPES,
                                                            WINHTTP_FLAG_SECURE)
                                       : nullptr);
    if (!call.Get()) return response;
    // A token goes to the URL's host alone, never on to where a redirect points.
    DWORD features = WINHTTP_DISABLE_REDIRECTS | WINHTTP_DISABLE_COOKIES;
    WinHttpSetOption(call.Get(), WINHTTP_OPTION_DISABLE_FEATURE, &features, sizeof features);
    if (!automatic) UseUsersProxy(session.Get(), call.Get(), url);

    const std::wstring headers =
        request.contentType.empty() ? std::wstring()
                                    : L"Content-Type: " + Widen(request.contentType) + L"\r\n";
    const DWORD size = static_cast<DWORD>(request.body.size());
    if (!LimitTo(call.Get(), limit) ||
        !WinHttpSendRequest(call.Get(), headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS
                                                        : headers.c_str(),
                            DWORD(-1), const_cast<char*>(request.body.data()), size, size, 0) ||
        !LimitTo(call.Get(), limit) || !WinHttpReceiveResponse(call.Get(), nullptr)) {
      response.result = Failure();
      return response;
    }
    DWORD status = 0;
    DWORD statusSize = sizeof status;
    if (!WinHttpQueryHeaders(call.Get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &statusSize,
                             WINHTTP_NO_HEADER_INDEX))
      return response;
    char chunk[4096];
    for (;;) {
      DWORD read = 0;
      if (!LimitTo(call.Get(), limit) || !WinHttpReadData(call.Get(), chunk, sizeof chunk, &read))
        return WebResponse();
      if (read == 0) break;
      response.body.append(chunk, read);
      if (response.body.size() > kMaxWebBody) return WebResponse();
    }
    response.status = static_cast<int>(status);
    response.result = WebResult::kAnswered;
    return response;
  }
};

}  // namespace

std::shared_ptr<Web> CreateWinHttpWeb() { return std::make_shared<WinHttpWeb>(); }
