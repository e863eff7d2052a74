#include "platform/utf8_text.h"

size_t Utf8SequenceAt(const std::string& text, size_t at, uint32_t& codePoint) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) {
    codePoint = lead;
    return 1;
  }
  size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, codePoint = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, codePoint = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, codePoint = lead & 0x07;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // past U+10FFFF
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  if (byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (size_t i = 1; i < length; ++i) {
    if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
    codePoint = (codePoint << 6) | (byte(at + i) & 0x3F);
  }
  return length;
}

namespace {

size_t SequenceLength(const std::string& text, size_t at) {
  uint32_t ignored = 0;
  return Utf8SequenceAt(text, at, ignored);
}

}  // namespace

bool IsValidUtf8(const std::string& text) {
  for (size_t at = 0; at < text.size();) {
    const size_t length = SequenceLength(text, at);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

size_t Utf16Units(const std::string& text) {
  size_t used = 0;
  for (size_t at = 0; at < text.size();) {
    const size_t length = SequenceLength(text, at);
    used += length == 4 ? 2 : 1;
    at += length == 0 ? 1 : length;
  }
  return used;
}

std::string CutToUtf16Units(const std::string& text, size_t units) {
  size_t used = 0;
  size_t at = 0;
  while (at < text.size()) {
    const size_t length = SequenceLength(text, at);
    const size_t needed = length == 4 ? 2 : 1;
    if (used + needed > units) break;
    used += needed;
    at += length == 0 ? 1 : length;
  }
  return text.substr(0, at);
}
