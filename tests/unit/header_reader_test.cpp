#include "mail/header_reader.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include "mail/charsets.h"
#include "mail/safe_text.h"
#include "platform/charset_decoder.h"
#include "platform/utf8_text.h"

namespace {

// Stands for the system's converters: knows one charset the program's own
// tables do not.
class Koi8Only final : public CharsetDecoder {
 public:
  bool DecodeToUtf8(const std::string& charset, const std::string& bytes,
                    std::string& utf8) const override {
    if (charset != "koi8-r" || bytes != "\xF0\xD2\xC9\xD7\xC5\xD4") return false;
    utf8 = "Привет";
    return true;
  }
};

TEST(HeaderReader, EncodedWordsDecodeOrStandAsTheyAre) {
  const Koi8Only system;
  const std::pair<const char*, const char*> cases[] = {
      {"plain text", "plain text"},
      {"=?UTF-8?B?0J/RgNC40LLQtdGC?=", "Привет"},
      {"=?utf-8?q?Gr=C3=BC=C3=9Fe_aus_K=C3=B6ln?=", "Grüße aus Köln"},
      {"=?ISO-8859-1?Q?caf=E9?= au lait", "café au lait"},
      {"=?iso-8859-2?q?=A3=F3d=BC?=", "Łódź"},
      {"=?ISO-8859-15?Q?=A4uro?=", "€uro"},
      {"=?windows-1250?Q?=8Ao=9Ea?=", "Šoža"},
      {"=?windows-1251?B?z/Do4uXy?=", "Привет"},
      {"=?windows-1252?Q?=93quoted=94?=", "“quoted”"},
      {"=?us-ascii?Q?a=FFb?=", "a\xEF\xBF\xBD" "b"},
      {"=?UTF-8*en?Q?lang?=", "lang"},
      {"=?koi8-r?B?8NLJ18XU?=", "Привет"},
      // Adjacent words join, also across a character split between them.
      {"=?UTF-8?Q?a?= =?UTF-8?Q?b?=  c", "ab  c"},
      {"=?UTF-8?B?0J/R?= =?UTF-8?B?gNC4?=", "При"},
      {"=?ISO-8859-1?Q?caf=E9?= =?UTF-8?Q?=C3=A9?=", "caféé"},
      {"x =?UTF-8?Q?y?= z", "x y z"},
      // Undecodable words stand as they are.
      {"=?x-unknown?Q?abc?=", "=?x-unknown?Q?abc?="},
      {"=?UTF-8?X?abc?=", "=?UTF-8?X?abc?="},
      {"=?UTF-8?Q?bad=G1?=", "=?UTF-8?Q?bad=G1?="},
      {"=?UTF-8?B?!!!?=", "=?UTF-8?B?!!!?="},
      {"=?UTF-8?Q?unterminated", "=?UTF-8?Q?unterminated"},
      {"=??Q?a?=", "=??Q?a?="},
      {"=?UTF-8?B?YQ=?= =?UTF-8?B?YQ===?= =?UTF-8?B?Y=Q=?=",
       "a =?UTF-8?B?YQ===?= =?UTF-8?B?Y=Q=?="},
      // Control characters go, raw bytes become valid UTF-8.
      {"a\tb=?UTF-8?Q?=07c=0D=0A?=\x7F", "a bc"},
      {"=?UTF-8?Q?=C2=85x?=", "x"},
      {"raw \xFF bytes", "raw \xEF\xBF\xBD bytes"},
  };
  for (const auto& [raw, decoded] : cases) EXPECT_EQ(decoded, DecodeHeaderText(raw, &system)) << raw;
  EXPECT_EQ("=?koi8-r?B?8NLJ18XU?=", DecodeHeaderText("=?koi8-r?B?8NLJ18XU?=", nullptr));
}

TEST(HeaderReader, SenderIsTheDisplayNameElseTheAddress) {
  const std::pair<const char*, const char*> cases[] = {
      {"From: Alice Example <alice@example.com>", "Alice Example"},
      {"From: \"Example, Alice \\\"Al\\\"\" <alice@example.com>", "Example, Alice \"Al\""},
      {"From: <bob@example.com>", "bob@example.com"},
      {"From: \"Bob <the builder>\" <bob@example.com>", "Bob <the builder>"},
      {"From: bob@example.com", "bob@example.com"},
      {"From: bob@example.com (Bob Builder)", "Bob Builder"},
      {"From: bob@example.com (=?UTF-8?Q?Bj=C3=B6rn?=)", "Björn"},
      {"From: bob@example.com (Bob\\)", "Bob\\"},
      {"From: =?UTF-8?Q?Eve=E2=80=AEfdp.exe?= <e@example.com>", "Evefdp.exe"},
      {"From: =?UTF-8?B?0JjQstCw0L0=?= <ivan@example.ru>", "Иван"},
      {"FROM: \"=?ISO-8859-1?Q?J=F6rg?=\" <j@example.de>", "Jörg"},
      {"From: Folded\r\n Name <f@example.com>", "Folded Name"},
      {"Subject: none", ""},
  };
  for (const auto& [header, sender] : cases)
    EXPECT_EQ(sender, ReadMailSummary(std::string(header) + "\r\n", nullptr).sender) << header;
}

TEST(HeaderReader, SubjectIsUnfoldedDecodedAndTheFirstOfItsKind) {
  const MailSummary summary = ReadMailSummary(
      "Received: from x\r\n\tby y\r\n"
      "subject: =?UTF-8?Q?Caf=C3=A9?=\r\n"
      "\t=?UTF-8?Q?_menu?= for\r\n"
      "  today\n"
      "Subject: second\r\n"
      "From: A <a@example.com>\r\n"
      "\r\n"
      "From: body <b@example.com>\r\n",
      nullptr);
  EXPECT_EQ("Café menu for  today", summary.subject);
  EXPECT_EQ("A", summary.sender);
}

TEST(SafeText, RepairsAndRemovesWhatCouldDisguiseOrBreakALine) {
  const std::pair<const char*, const char*> cases[] = {
      {"a\tb\x01\r\n\x7F" "c\xC2\x80\xC2\x9F" "d", "a bcd"},
      {"\xD8\x9C\xE2\x80\x8E\xE2\x80\x8F\xE2\x80\xA8\xE2\x80\xA9\xE2\x80\xAA\xE2\x80\xAE"
       "\xE2\x81\xA6\xE2\x81\xA9\xEF\xBB\xBF\xEF\xBF\xB9\xEF\xBF\xBB",
       ""},
      // Kept: no-break space, zero-width space and joiners, the narrow no-break
      // space after the overrides, U+206A, U+FFFC and U+FFFD.
      {"\xC2\xA0\xE2\x80\x8B\xE2\x80\x8C\xE2\x80\x8D\xE2\x80\xAF\xE2\x81\xAA\xEF\xBF\xBC"
       "\xEF\xBF\xBD",
       "\xC2\xA0\xE2\x80\x8B\xE2\x80\x8C\xE2\x80\x8D\xE2\x80\xAF\xE2\x81\xAA\xEF\xBF\xBC"
       "\xEF\xBF\xBD"},
      {"\xFF" "a\xE2\x80" "b\xC0\xAF",
       "\xEF\xBF\xBD" "a\xEF\xBF\xBD\xEF\xBF\xBD" "b\xEF\xBF\xBD\xEF\xBF\xBD"},
  };
  for (const auto& [raw, safe] : cases) EXPECT_EQ(safe, SafeText(raw)) << raw;
}

// What the system's converter makes of one byte; U+FFFD where it maps none.
std::string ConvertedBySystem(const char* charset, char byte) {
  const iconv_t converter = iconv_open("UTF-8", charset);
  EXPECT_NE(reinterpret_cast<iconv_t>(-1), converter) << charset;
  char out[8];
  char* in = &byte;
  char* end = out;
  size_t inLeft = 1, outLeft = sizeof out;
  const bool mapped = iconv(converter, &in, &inLeft, &end, &outLeft) != static_cast<size_t>(-1);
  iconv_close(converter);
  return mapped ? std::string(out, end) : "\xEF\xBF\xBD";
}

TEST(Charsets, EverySingleByteTableIsTheSystemsConverterByteForByte) {
  for (const char* charset : {"US-ASCII", "ISO-8859-1", "ISO-8859-2", "ISO-8859-15",
                              "WINDOWS-1250", "WINDOWS-1251", "WINDOWS-1252"}) {
    std::string ours = "replaced at each call";
    for (int byte = 0; byte <= 0xFF; ++byte) {
      const std::string one(1, static_cast<char>(byte));
      ASSERT_TRUE(DecodeBuiltInCharset(charset, one, ours)) << charset;
      EXPECT_EQ(ConvertedBySystem(charset, one[0]), ours) << charset << " byte " << byte;
    }
  }
}

TEST(Charsets, CodePagesByNameAndNumber) {
  const std::pair<const char*, unsigned> cases[] = {
      {"KOI8-R", 20866},     {"shift_jis", 932},     {"windows-874", 874}, {"cp437", 437},
      {"iso-8859-5", 28595}, {"ISO-8859-16", 28606}, {"iso-8859-12", 0},   {"iso-8859-", 0},
      {"windows-x", 0},      {"no-such", 0},         {"cp1234567", 0},     {"iso8859-2", 28592},
      {"x-gbk", 936},        {"euc-kr", 51949},      {"ibm866", 866},
      {"gbk", 936},
  };
  for (const auto& [name, codePage] : cases) EXPECT_EQ(codePage, CodePageForCharset(name)) << name;
  EXPECT_EQ("a\xEF\xBF\xBD\xEF\xBF\xBD" "b\xF0\x9F\x98\x80",
            ValidUtf8("a\xC0\xAF" "b\xF0\x9F\x98\x80"));
  EXPECT_EQ("\xEF\xBF\xBD" "c", ValidUtf8("\x80" "c")) << "a lone continuation byte";
  EXPECT_EQ("\xEF\xBF\xBD", ValidUtf8("\xED\xA0\x80").substr(0, 3)) << "no surrogates";
  // Each length's first and last code point reads back whole.
  for (uint32_t codePoint : {0x7Fu, 0x80u, 0x7FFu, 0x800u, 0xFFFFu, 0x10000u, 0x10FFFFu}) {
    std::string utf8;
    AppendUtf8(codePoint, utf8);
    uint32_t back = 0;
    EXPECT_EQ(utf8.size(), Utf8SequenceAt(utf8, 0, back)) << codePoint;
    EXPECT_EQ(codePoint, back) << codePoint;
  }
}

}  // namespace
