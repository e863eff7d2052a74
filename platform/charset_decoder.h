#pragma once

#include <string>

// The system's own text converters, for the charsets of mail headers the
// program has no table of its own for.
class CharsetDecoder {
 public:
  // Converts bytes in the named charset to UTF-8; false when the system does
  // not know the charset or the bytes are not valid in it.
  virtual bool DecodeToUtf8(const std::string& charset, const std::string& bytes,
                            std::string& utf8) const = 0;

 protected:
  ~CharsetDecoder() = default;
};
