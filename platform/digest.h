#pragma once

#include <string>

// The system's message digests. May be called from any thread.
class Digest {
 public:
  virtual ~Digest() = default;

  // The 32-byte SHA-256 of data; empty when the system could not make it.
  virtual std::string Sha256(const std::string& data) = 0;
};
