#pragma once

#include "platform/charset_decoder.h"

// Mail header charsets through MultiByteToWideChar, by the code page their
// name stands for.
class Win32CharsetDecoder : public CharsetDecoder {
 public:
  bool DecodeToUtf8(const std::string& charset, const std::string& bytes,
                    std::string& utf8) const override;
};
