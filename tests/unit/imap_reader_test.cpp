#include "check/imap/imap_reader.h"

#include <gtest/gtest.h>

#include "log/event_log.h"
#include "tests/double/fake_platform.h"
#include "tests/double/memory_transport.h"

namespace {

// A response as the table writes it: kind or tag, number, name, the
// response code in brackets, the data with strings quoted, and a search's
// numbers as [count: first..last].
std::string Shown(const ImapResponse& response, const std::vector<uint32_t>& numbers) {
  std::string shown = response.kind == ImapResponseKind::kContinuation ? "+"
                      : response.kind == ImapResponseKind::kUntagged   ? "*"
                                                                       : response.tag;
  if (response.kind == ImapResponseKind::kContinuation) return shown;
  if (response.numbered) shown += " " + std::to_string(response.number);
  shown += " " + response.name;
  if (!response.code.empty())
    shown +=
        " [" + response.code + (response.codeText.empty() ? "" : " " + response.codeText) + "]";
  // As ImapToken::Type lists them.
  const char* const marks[] = {"", "", "NIL", "(", ")", "<dropped>"};
  for (const ImapToken& token : response.data)
    shown += " " + (token.type == ImapToken::Type::kAtom     ? token.text
                    : token.type == ImapToken::Type::kString ? "\"" + token.text + "\""
                                                             : marks[static_cast<int>(token.type)]);
  if (response.name == "SEARCH")
    shown += " [" + std::to_string(numbers.size()) +
             (numbers.empty() ? ""
                              : ": " + std::to_string(numbers.front()) + ".." +
                                    std::to_string(numbers.back())) +
             "]";
  return shown;
}

std::string Search(size_t bytes) {
  std::string line = "* SEARCH";
  for (uint32_t uid = 1; line.size() < bytes; ++uid) line += " " + std::to_string(uid);
  return line + "\r\n";
}

std::string Fetch(size_t literal) {
  return "* 1 FETCH (UID 7 BODY[] {" + std::to_string(literal) + "}\r\n" +
         std::string(literal, 's') + ")\r\n";
}

// Every rule of the reader. Each input is read response by response until
// the reader fails (the script's end closes the connection); expected lists
// what was read before, " | " between responses.
TEST(ImapReader, ReadsEveryResponseWithinItsBoundsAndNothingElse) {
  const std::string k64 = std::to_string(ImapReader::kMaxLiteral);
  const struct {
    std::string input;
    std::string expected;
  } cases[] = {
      {"* OK [CAPABILITY IMAP4rev1 IDLE] Dovecot ready.\r\n", "* OK [CAPABILITY IMAP4rev1 IDLE]"},
      {"* PREAUTH\r\n* BYE\r\n", "* PREAUTH | * BYE"},
      {"a1 ok done\n", "a1 OK"},
      {"a2 NO [UNAVAILABLE] try later\r\n", "a2 NO [UNAVAILABLE]"},
      {"a3 BAD\r\n+ idling\r\n+\r\n", "a3 BAD | + | +"},
      {"* OK [ALERT unbalanced ( and \" quote] text ( \" \r\n",
       "* OK [ALERT unbalanced ( and \" quote]"},
      {"* OK [UIDVALIDITY 3857529045] UIDs valid\r\n", "* OK [UIDVALIDITY 3857529045]"},
      {"* 23 EXISTS\r\n* 4294967295 expunge\r\n* 4294967296 EXISTS\r\n",
       "* 23 EXISTS | * 4294967295 EXPUNGE"},
      {"* 0x1 EXISTS\r\n", ""},
      {"* CAPABILITY IMAP4rev1 LITERAL+ AUTH=PLAIN\r\n",
       "* CAPABILITY IMAP4rev1 LITERAL+ AUTH=PLAIN"},
      {"* FLAGS (\\Answered \\*)\r\n", "* FLAGS ( \\Answered \\* )"},
      {"* LIST (\\HasNoChildren) \"/\" \"a \\\"b\\\" \\\\c\"\r\n",
       "* LIST ( \\HasNoChildren ) \"/\" \"a \"b\" \\c\""},
      {"* ESEARCH (TAG \"a3\") UID COUNT 5\r\n", "* ESEARCH ( TAG \"a3\" ) UID COUNT 5"},
      {"* SEARCH 2 84 882\r\n* SEARCH\r\n* SEARCH \r\n",
       "* SEARCH [3: 2..882] | * SEARCH [0] | * SEARCH [0]"},
      {"* SEARCH 1 2 (MODSEQ 917162500)\r\n", "* SEARCH [2: 1..2]"},
      {"* SEARCH 1 x\r\n", ""},
      {"* SEARCH 0\r\n", ""},
      {Search(300 * 1024), "* SEARCH [53050: 1..53050]"},
      {Search(ImapReader::kMaxResponse + 1), ""},
      {"* 1 FETCH (UID 7 BODY[HEADER.FIELDS (FROM SUBJECT)] {14}\r\nSubject: x\r\n\r\n)\r\n",
       "* 1 FETCH ( UID 7 BODY[HEADER.FIELDS (FROM SUBJECT)] \"Subject: x\r\n\r\n\" )"},
      {"* 2 FETCH (UID 9 BODY[HEADER] NIL FLAGS (\\Seen))\r\n",
       "* 2 FETCH ( UID 9 BODY[HEADER] NIL FLAGS ( \\Seen ) )"},
      {"* 3 FETCH (BODY[] {0}\r\n \"\")\r\n", "* 3 FETCH ( BODY[] \"\" \"\" )"},
      {Fetch(ImapReader::kMaxLiteral) + "* 1 EXISTS\r\n",
       "* 1 FETCH ( UID 7 BODY[] \"" + std::string(ImapReader::kMaxLiteral, 's') +
           "\" ) | * 1 EXISTS"},
      {Fetch(ImapReader::kMaxLiteral + 1) + "* 1 EXISTS\r\n",
       "* 1 FETCH ( UID 7 BODY[] <dropped> ) | * 1 EXISTS"},
      {Fetch(ImapReader::kMaxResponse), ""},
      {"* 1 FETCH (A {600000}\r\n" + std::string(600000, 's') + " B {600000}\r\n" +
           std::string(600000, 's') + ")\r\n",
       ""},
      {"* LIST () \"/\" {" + k64 + "}\r\n" + std::string(ImapReader::kMaxLiteral, 's') + "\r\n",
       "* LIST ( ) \"/\" \"" + std::string(ImapReader::kMaxLiteral, 's') + "\""},
      {"* LIST () \"/\" {65537}\r\n" + std::string(65537, 's') + "\r\n", ""},
      {"* X " + std::string(ImapReader::kMaxLine, 'x') + "\r\n", ""},
      {"* 1 FETCH (BODY[] {12345678901}\r\n", ""},
      {"* 1 FETCH (BODY[] {5x}\r\nsssss)\r\n", ""},
      {"* 1 FETCH (BODY[] {5}\r\nsss", ""},
      {"* 1 FETCH (UID 1\r\n", ""},
      {"* 1 FETCH (UID 1))\r\n", ""},
      {"* 1 FETCH (BODY[HEADER\r\n]\r\n", ""},
      {"* LIST \"unterminated\r\n", ""},
      {"* LIST \"a\\", ""},
      {"a1 PREAUTH\r\n", ""},
      {")\r\n", ""},
      {"*\r\n", ""},
      {"* OK\rX\n", ""},
      {"* OK hi", ""},
      {"", ""},
      {std::string("* OK \0\x01\xff text\r\n", 15), "* OK"},
  };
  for (const auto& c : cases) {
    // Whole, and three bytes a receive, so every boundary falls inside a token.
    for (const size_t piece : {c.input.size(), size_t{3}}) {
      MemoryServer server;
      for (size_t at = 0; at < c.input.size(); at += piece)
        server.Reply(0, c.input.substr(at, piece));
      const std::unique_ptr<Transport> transport = server.NewSession();
      FakePlatform platform;
      EventLog log(platform.GetServices().files, platform.GetServices().clock, "C:\\log.txt");
      ImapReader reader(*transport, &log);
      std::string read;
      std::vector<uint32_t> numbers;
      const ImapReader::NumberSink sink = [&numbers](uint32_t n) { numbers.push_back(n); };
      ImapResponse response;
      while (reader.Read(response, Deadline(1000), &sink)) {
        read += (read.empty() ? "" : " | ") + Shown(response, numbers);
        numbers.clear();
      }
      EXPECT_EQ(c.expected, read) << c.input.substr(0, 80) << " in pieces of " << piece;
      log.Flush();
      const std::string logged = platform.files["C:\\log.txt"];
      EXPECT_EQ(std::string::npos, logged.find("sss")) << "a literal's contents are never logged";
      for (size_t start = 0, end; (end = logged.find("\r\n", start)) != std::string::npos;
           start = end + 2)
        EXPECT_LE(end - start, 20u + 2 + 200) << "a logged line is cut at 200 bytes";
    }
  }
}

}  // namespace
