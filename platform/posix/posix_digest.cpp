#include <openssl/evp.h>

#include "platform/posix/posix_services.h"

namespace {

class PosixDigest : public Digest {
 public:
  std::string Sha256(const std::string& data) override {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(data.data(), data.size(), digest, &length, EVP_sha256(), nullptr) != 1)
      return std::string();
    return std::string(reinterpret_cast<const char*>(digest), length);
  }
};

}  // namespace

std::unique_ptr<Digest> CreatePosixDigest() { return std::make_unique<PosixDigest>(); }
