#pragma once

#include <cstddef>
#include <string>

// The system's cryptographic random numbers. May be called from any thread.
class Random {
 public:
  virtual ~Random() = default;

  // Puts count random bytes in bytes; false when the system could not.
  virtual bool Bytes(size_t count, std::string& bytes) = 0;
};
