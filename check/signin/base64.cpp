#include "check/signin/base64.h"

namespace {

const char kStandard[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
const char kUrl[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

std::string Encode(const std::string& bytes, const char* alphabet, bool pad) {
  std::string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const size_t count = bytes.size() - i < 3 ? bytes.size() - i : 3;
    unsigned long group = 0;
    for (size_t j = 0; j < 3; ++j)
      group = group << 8 | (j < count ? static_cast<unsigned char>(bytes[i + j]) : 0u);
    for (size_t j = 0; j < 4; ++j) {
      if (j <= count)
        text += alphabet[(group >> (18 - 6 * j)) & 0x3F];
      else if (pad)
        text += '=';
    }
  }
  return text;
}

int Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+' || c == '-') return 62;
  if (c == '/' || c == '_') return 63;
  return -1;
}

}  // namespace

std::string Base64(const std::string& bytes) { return Encode(bytes, kStandard, true); }

std::string Base64Url(const std::string& bytes) { return Encode(bytes, kUrl, false); }

bool DecodeBase64(const std::string& text, std::string& bytes) {
  size_t length = text.size();
  if (length % 4 == 0 && length > 0 && text[length - 1] == '=')
    length -= text[length - 2] == '=' ? 2 : 1;
  // One character left over carries no whole byte.
  if (length % 4 == 1) return false;
  bytes.clear();
  unsigned long group = 0;
  int bits = 0;
  for (size_t i = 0; i < length; ++i) {
    const int value = Value(text[i]);
    if (value < 0) return false;
    group = (group << 6 | static_cast<unsigned long>(value)) & 0xFFFFFF;
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      bytes += static_cast<char>((group >> bits) & 0xFF);
    }
  }
  return true;
}
