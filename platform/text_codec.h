#pragma once

#include <string>

// Conversions between the program's UTF-8 text and the other encodings it
// meets: the system's ANSI code page, in which earlier versions wrote their
// settings and sent their log-ins.
class TextCodec {
 public:
  virtual ~TextCodec() = default;

  // The ANSI form of utf8; false when a character of it has none.
  virtual bool ToAnsi(const std::string& utf8, std::string& ansi) const = 0;
  // The UTF-8 form of text in the ANSI code page.
  virtual std::string FromAnsi(const std::string& ansi) const = 0;
};
