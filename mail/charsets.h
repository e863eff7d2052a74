#pragma once

#include <cstdint>
#include <string>

// Appends the code point as UTF-8.
void AppendUtf8(uint32_t codePoint, std::string& utf8);

// The bytes as valid UTF-8: each broken sequence becomes U+FFFD.
std::string ValidUtf8(const std::string& bytes);

// Converts bytes in charset to UTF-8 with the program's own tables (UTF-8,
// US-ASCII, ISO-8859-1/-2/-15, Windows-1250/1251/1252, names compared without
// regard to case); false when the charset is none of them.
bool DecodeBuiltInCharset(const std::string& charset, const std::string& bytes,
                          std::string& utf8);

// The Windows code page for a charset name as mail headers spell it, or 0
// when the name is not one the system's converters are known to take.
unsigned CodePageForCharset(const std::string& charset);
