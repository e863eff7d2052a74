// libFuzzer target: any server text. What is accepted must be something the
// resolver can take as it is: a non-empty host without spaces, control
// characters, a zone or the root's dot, and a port in 1 to 65535.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "check/server_address.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  ServerAddress address;
  if (!ParseServerAddress(text, address)) return 0;
  if (address.host.empty() || address.host.back() == '.' || address.port == 0) std::abort();
  for (char c : address.host) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte <= ' ' || byte == 0x7F || c == '[' || c == ']' || c == '/' || c == '@' ||
        c == '%')
      std::abort();
  }
  ServerAddress again;
  const std::string bracketed =
      address.host.find(':') == std::string::npos ? address.host : "[" + address.host + "]";
  if (!ParseServerAddress(bracketed + ":" + std::to_string(address.port), again) ||
      again.host != address.host || again.port != address.port)
    std::abort();
  return 0;
}
