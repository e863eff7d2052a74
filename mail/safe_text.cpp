#include "mail/safe_text.h"

#include <cstdint>

#include "mail/charsets.h"
#include "platform/utf8_text.h"

namespace {

constexpr uint32_t kReplacement = 0xFFFD;

bool Removed(uint32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
         (c >= 0x2028 && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0xFEFF ||
         (c >= 0xFFF9 && c <= 0xFFFB);
}

}  // namespace

std::string SafeText(const std::string& text) {
  std::string safe;
  safe.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    uint32_t codePoint = 0;
    const size_t length = Utf8SequenceAt(text, at, codePoint);
    if (length == 0) {
      AppendUtf8(kReplacement, safe);
      ++at;
      continue;
    }
    if (codePoint == '\t') {
      safe += ' ';
    } else if (!Removed(codePoint)) {
      safe.append(text, at, length);
    }
    at += length;
  }
  return safe;
}
