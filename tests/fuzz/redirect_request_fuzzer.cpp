// libFuzzer target: what a connection to the loopback port sends. Only a GET
// of "/?" with this sign-in's state may end the wait, and the verdict is the
// one reached as the bytes arrive, whatever follows the request's head.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "check/signin/redirect_request.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string received(reinterpret_cast<const char*>(data), size);
  const RedirectRequest read = ReadRedirect(received, "st");
  if (read.kind == RedirectKind::kIncomplete && size >= kMaxRedirectRequest) std::abort();
  if (read.kind == RedirectKind::kCode || read.kind == RedirectKind::kError) {
    if (received.compare(0, 6, "GET /?") != 0 || received.find("state=st") == std::string::npos)
      std::abort();
    if (read.kind == RedirectKind::kCode ? read.code.empty() : read.error.empty()) std::abort();
  }
  for (size_t length = 0; length <= size; ++length) {
    const RedirectRequest prefix = ReadRedirect(received.substr(0, length), "st");
    if (prefix.kind == RedirectKind::kIncomplete) continue;
    if (prefix.kind != read.kind || prefix.code != read.code || prefix.error != read.error)
      std::abort();
    break;
  }
  return 0;
}
