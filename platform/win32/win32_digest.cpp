#include "platform/win32/win32_services.h"

#include <windows.h>
#include <bcrypt.h>

namespace {

constexpr ULONG kSha256Bytes = 32;

// BCryptHash itself is Windows 10's; these calls are there since Vista.
class Win32Digest : public Digest {
 public:
  std::string Sha256(const std::string& data) override {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0)
      return std::string();
    std::string digest(kSha256Bytes, '\0');
    BCRYPT_HASH_HANDLE hash = nullptr;
    const bool made =
        BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) == 0 &&
        BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(data.data())),
                       static_cast<ULONG>(data.size()), 0) == 0 &&
        BCryptFinishHash(hash, reinterpret_cast<PUCHAR>(&digest[0]), kSha256Bytes, 0) == 0;
    if (hash) BCryptDestroyHash(hash);
    BCryptCloseAlgorithmProvider(algorithm, 0);
    return made ? digest : std::string();
  }
};

}  // namespace

std::shared_ptr<Digest> CreateWin32Digest() { return std::make_shared<Win32Digest>(); }
