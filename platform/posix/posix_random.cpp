#include <sys/random.h>

#include <cerrno>

#include "platform/posix/posix_services.h"

namespace {

class PosixRandom : public Random {
 public:
  bool Bytes(size_t count, std::string& bytes) override {
    bytes.assign(count, '\0');
    for (size_t done = 0; done < count;) {
      const ssize_t got = getrandom(&bytes[done], count - done, 0);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return false;
      done += static_cast<size_t>(got);
    }
    return true;
  }
};

}  // namespace

std::unique_ptr<Random> CreatePosixRandom() { return std::make_unique<PosixRandom>(); }
