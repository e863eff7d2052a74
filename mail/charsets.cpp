#include "mail/charsets.h"

#include <algorithm>
#include <cctype>
#include <iterator>

#include "platform/utf8_text.h"

namespace {

constexpr uint32_t kReplacement = 0xFFFD;

// The upper halves of the single-byte charsets, from their first byte that
// is not Latin-1's; 0xFFFD where the charset assigns nothing.
const uint16_t kIso8859_2[96] = {
    0x00A0, 0x0104, 0x02D8, 0x0141, 0x00A4, 0x013D, 0x015A, 0x00A7,
    0x00A8, 0x0160, 0x015E, 0x0164, 0x0179, 0x00AD, 0x017D, 0x017B,
    0x00B0, 0x0105, 0x02DB, 0x0142, 0x00B4, 0x013E, 0x015B, 0x02C7,
    0x00B8, 0x0161, 0x015F, 0x0165, 0x017A, 0x02DD, 0x017E, 0x017C,
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};
const uint16_t kWindows1250[128] = {
    0x20AC, 0xFFFD, 0x201A, 0xFFFD, 0x201E, 0x2026, 0x2020, 0x2021,
    0xFFFD, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,
    0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0xFFFD, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7,
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7,
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};
const uint16_t kWindows1251[128] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0xFFFD, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};
// Windows-1252 is Latin-1 from 0xA0 on.
const uint16_t kWindows1252[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
    0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};
// ISO-8859-15 is Latin-1 but for these eight bytes.
const std::pair<uint8_t, uint16_t> kIso8859_15[] = {
    {0xA4, 0x20AC}, {0xA6, 0x0160}, {0xA8, 0x0161}, {0xB4, 0x017D},
    {0xB8, 0x017E}, {0xBC, 0x0152}, {0xBD, 0x0153}, {0xBE, 0x0178},
};

struct SingleByteCharset {
  const char* names[4];
  const uint16_t* upper;  // null: Latin-1
  unsigned firstMapped;   // the byte upper[0] stands for
  unsigned tableEnd;      // the first byte past the table: Latin-1 from there on
  bool iso8859_15;
};

const SingleByteCharset kSingleByte[] = {
    {{"iso-8859-1", "latin1", "iso_8859-1", "l1"}, nullptr, 0x80, 0x80, false},
    {{"iso-8859-2", "latin2", "iso_8859-2", "l2"}, kIso8859_2, 0xA0, 0x100, false},
    {{"iso-8859-15", "latin-9", "iso_8859-15", "latin9"}, nullptr, 0x80, 0x80, true},
    {{"windows-1250", "cp1250", "x-cp1250", nullptr}, kWindows1250, 0x80, 0x100, false},
    {{"windows-1251", "cp1251", "x-cp1251", nullptr}, kWindows1251, 0x80, 0x100, false},
    {{"windows-1252", "cp1252", "x-cp1252", nullptr}, kWindows1252, 0x80, 0xA0, false},
};

std::string Lower(const std::string& text) {
  std::string lower = text;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

uint32_t SingleByte(const SingleByteCharset& charset, unsigned byte) {
  if (byte < 0x80) return byte;
  if (charset.iso8859_15)
    for (const auto& [from, to] : kIso8859_15)
      if (from == byte) return to;
  if (charset.upper && byte >= charset.firstMapped && byte < charset.tableEnd)
    return charset.upper[byte - charset.firstMapped];
  return byte;
}

}  // namespace

void AppendUtf8(uint32_t codePoint, std::string& utf8) {
  if (codePoint < 0x80) {
    utf8 += static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    utf8 += static_cast<char>(0xC0 | (codePoint >> 6));
    utf8 += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else if (codePoint < 0x10000) {
    utf8 += static_cast<char>(0xE0 | (codePoint >> 12));
    utf8 += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    utf8 += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else {
    utf8 += static_cast<char>(0xF0 | (codePoint >> 18));
    utf8 += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
    utf8 += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    utf8 += static_cast<char>(0x80 | (codePoint & 0x3F));
  }
}

std::string ValidUtf8(const std::string& bytes) {
  std::string utf8;
  utf8.reserve(bytes.size());
  for (size_t at = 0; at < bytes.size();) {
    uint32_t codePoint = 0;
    const size_t length = Utf8SequenceAt(bytes, at, codePoint);
    if (length == 0) {
      AppendUtf8(kReplacement, utf8);
      ++at;
    } else {
      utf8.append(bytes, at, length);
      at += length;
    }
  }
  return utf8;
}

bool DecodeBuiltInCharset(const std::string& charset, const std::string& bytes,
                          std::string& utf8) {
  const std::string name = Lower(charset);
  if (name == "utf-8" || name == "utf8") {
    utf8 = ValidUtf8(bytes);
    return true;
  }
  if (name == "us-ascii" || name == "ascii") {
    utf8.clear();
    for (char c : bytes) AppendUtf8(c & 0x80 ? kReplacement : static_cast<uint32_t>(c), utf8);
    return true;
  }
  for (const SingleByteCharset& single : kSingleByte) {
    const auto isName = [&name](const char* known) { return known && name == known; };
    if (std::none_of(std::begin(single.names), std::end(single.names), isName)) continue;
    utf8.clear();
    for (char c : bytes) AppendUtf8(SingleByte(single, static_cast<unsigned char>(c)), utf8);
    return true;
  }
  return false;
}

// The names mail uses for the code pages Windows converts; "windows-N",
// "cpN" and "iso-8859-N" are taken by their number.
unsigned CodePageForCharset(const std::string& charset) {
  static const std::pair<const char*, unsigned> kNamed[] = {
      {"shift_jis", 932},   {"shift-jis", 932},   {"sjis", 932},        {"x-sjis", 932},
      {"gb2312", 936},      {"gbk", 936},         {"x-gbk", 936},       {"ks_c_5601-1987", 949},
      {"big5", 950},        {"big5-hkscs", 950},  {"koi8-r", 20866},    {"koi8-u", 21866},
      {"euc-jp", 51932},    {"euc-kr", 51949},    {"euc-cn", 936},      {"iso-2022-jp", 50220},
      {"iso-2022-kr", 50225}, {"gb18030", 54936}, {"utf-7", 65000},     {"tis-620", 874},
      {"macintosh", 10000}, {"ibm866", 866},      {"x-mac-cyrillic", 10007},
  };
  const std::string name = Lower(charset);
  for (const auto& [known, codePage] : kNamed)
    if (name == known) return codePage;
  static const std::pair<const char*, unsigned> kNumbered[] = {
      {"windows-", 0}, {"cp", 0}, {"x-cp", 0}, {"iso-8859-", 28590}, {"iso8859-", 28590}};
  for (const auto& [prefix, base] : kNumbered) {
    const std::string start = prefix;
    if (name.compare(0, start.size(), start) != 0) continue;
    const std::string digits = name.substr(start.size());
    if (digits.empty() || digits.size() > 5 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
      return 0;
    unsigned number = 0;
    for (char digit : digits) number = number * 10 + static_cast<unsigned>(digit - '0');
    if (base == 0) return number;
    return number >= 1 && number <= 16 && number != 12 ? base + number : 0;
  }
  return 0;
}
