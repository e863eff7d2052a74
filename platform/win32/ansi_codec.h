#pragma once

#include "platform/text_codec.h"

// Conversions through the system's ANSI code page (CP_ACP).
class AnsiCodec : public TextCodec {
 public:
  bool ToAnsi(const std::string& utf8, std::string& ansi) const override;
  std::string FromAnsi(const std::string& ansi) const override;
};
