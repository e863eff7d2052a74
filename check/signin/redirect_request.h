#pragma once

#include <cstddef>
#include <string>

// The most a browser's request to the loopback port may hold.
constexpr size_t kMaxRedirectRequest = 8 * 1024;

// What a request to the loopback port is.
enum class RedirectKind {
  kIncomplete,  // its head has not ended yet: read on
  kCode,        // the redirect with the code, for this sign-in
  kError,       // the redirect with an error (access_denied and friends), for this sign-in
  kOther,       // anything else: another path, another state, a malformed or long request
};

struct RedirectRequest {
  RedirectKind kind = RedirectKind::kIncomplete;
  std::string code;
  // With kError: the error code and its description, as sent.
  std::string error;
  std::string description;
};

// Reads what a connection has sent so far. Only "GET /?..." whose state
// parameter is exactly state counts as the redirect (RFC 6749 section
// 4.1.2); a request longer than kMaxRedirectRequest is kOther.
RedirectRequest ReadRedirect(const std::string& received, const std::string& state);

// The whole HTTP answer to a request of this kind: a short page for the
// redirect, 400 for anything else.
std::string RedirectAnswer(RedirectKind kind);

// Percent-decodes a query's value; '+' stands for a space. False on a
// broken escape.
bool DecodeQueryValue(const std::string& text, std::string& value);
