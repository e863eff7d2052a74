#include "platform/win32/win32_services.h"

#include <windows.h>
#include <bcrypt.h>

namespace {

class Win32Random : public Random {
 public:
  bool Bytes(size_t count, std::string& bytes) override {
    bytes.assign(count, '\0');
    return count == 0 ||
           BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&bytes[0]),
                           static_cast<ULONG>(count), BCRYPT_USE_SYSTEM_PREFERRED_RNG) == 0;
  }
};

}  // namespace

std::shared_ptr<Random> CreateWin32Random() { return std::make_shared<Win32Random>(); }
