#pragma once

#include "platform/charset_decoder.h"

// Mail header charsets through MultiByteToWideChar, by the code page their
// name stands for, which codePageFor tells (0: none the system is known to take).
class Win32CharsetDecoder final : public CharsetDecoder {
 public:
  explicit Win32CharsetDecoder(unsigned (*codePageFor)(const std::string&))
      : m_codePageFor(codePageFor) {}
  bool DecodeToUtf8(const std::string& charset, const std::string& bytes,
                    std::string& utf8) const override;

 private:
  unsigned (*const m_codePageFor)(const std::string&);
};
