#include "check/imap/imap_reader.h"

#include <algorithm>
#include <cctype>

#include "log/event_log.h"

namespace {

constexpr size_t kReceiveChunk = 16 * 1024;
// Enough of a response to see what the server said.
constexpr size_t kLoggedLength = 200;

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// RFC 9051's atom characters, with "\" (flags), "%" and "*" (list wildcards)
// and bytes above 0x7F let through; "]" ends a response code.
bool AtomChar(char c) {
  const unsigned char byte = static_cast<unsigned char>(c);
  return byte > ' ' && byte != 0x7F && c != '(' && c != ')' && c != '{' && c != '"' && c != ']';
}

bool IsStatus(const std::string& name) {
  return name == "OK" || name == "NO" || name == "BAD" || name == "BYE" || name == "PREAUTH";
}

}  // namespace

bool ImapNumber(const std::string& text, uint32_t& value) {
  if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  uint64_t number = 0;
  for (char digit : text) number = number * 10 + static_cast<uint64_t>(digit - '0');
  if (number > UINT32_MAX) return false;
  value = static_cast<uint32_t>(number);
  return true;
}

ImapReader::ImapReader(Transport& transport, EventLog* log) : m_transport(transport), m_pLog(log) {}

bool ImapReader::Read(ImapResponse& response, const Deadline& deadline,
                      const NumberSink* onSearch) {
  response = ImapResponse();
  m_pDeadline = &deadline;
  m_nResponseBytes = m_nLineBytes = 0;
  m_bStreaming = false;
  m_strLogged.clear();
  m_bLogging = true;
  m_pFailure = nullptr;
  const bool read = Parse(response, onSearch);
  m_pDeadline = nullptr;
  if (m_pLog) {
    if (!m_strLogged.empty()) m_pLog->Add("< " + m_strLogged);
    if (!read) m_pLog->Add(std::string("< no reply: ") + (m_pFailure ? m_pFailure : "malformed"));
  }
  return read;
}

int ImapReader::Wait(int timeoutMs) {
  if (m_nRead < m_buffer.size()) return static_cast<int>(m_buffer.size() - m_nRead);
  return Refill(timeoutMs);
}

// What was read is dropped first, so a long response never piles up.
int ImapReader::Refill(int timeoutMs) {
  Discard();
  char chunk[kReceiveChunk];
  const int count = m_transport.Receive(chunk, sizeof chunk, timeoutMs);
  if (count > 0) m_buffer.assign(chunk, static_cast<size_t>(count));
  return count;
}

void ImapReader::Discard() {
  m_buffer.clear();
  m_nRead = 0;
}

bool ImapReader::Fail(const char* why) {
  if (!m_pFailure) m_pFailure = why;
  return false;
}

bool ImapReader::Peek(char& c) {
  if (m_nRead == m_buffer.size()) {
    const int left = m_pDeadline->MsLeft();
    if (left <= 0) return Fail("timed out");
    const int count = Refill(left);
    if (count == 0) return Fail("connection closed");
    if (count < 0) return Fail("timed out or connection lost");
  }
  c = m_buffer[m_nRead];
  return true;
}

bool ImapReader::Take() {
  const char c = m_buffer[m_nRead++];
  if (++m_nResponseBytes > kMaxResponse || (++m_nLineBytes > kMaxLine && !m_bStreaming))
    return Fail("too long");
  if (m_bLogging) {
    if (c == '\r' || c == '\n' || m_strLogged.size() >= kLoggedLength)
      m_bLogging = false;
    else
      m_strLogged += c;
  }
  return true;
}

bool ImapReader::Expect(char wanted) {
  char c;
  if (!Peek(c)) return false;
  if (c != wanted) return Fail("malformed");
  return Take();
}

bool ImapReader::AtLineEnd() {
  char c;
  return Peek(c) && (c == '\r' || c == '\n');
}

// CR LF, or a bare LF as some servers send.
bool ImapReader::LineEnd() {
  char c;
  if (!Peek(c)) return false;
  if (c == '\r') {
    if (!Take()) return false;
    if (!Peek(c)) return false;
  }
  if (c != '\n') return Fail("malformed");
  return Take();
}

// Free text up to the line end, kept in text when it is given.
bool ImapReader::ReadText(std::string* text) {
  for (char c; Peek(c);) {
    if (c == '\r' || c == '\n') return true;
    if (!Take()) return false;
    if (text) *text += c;
  }
  return false;
}

bool ImapReader::Parse(ImapResponse& response, const NumberSink* onSearch) {
  char c;
  if (!Peek(c)) return false;
  if (c == '+') {
    response.kind = ImapResponseKind::kContinuation;
    return Take() && ReadText(nullptr) && LineEnd();
  }
  std::string word;
  if (c == '*') {
    if (!Take() || !Expect(' ') || !ParseAtom(word, false)) return false;
    if (ImapNumber(word, response.number)) {
      response.numbered = true;
      if (!Expect(' ') || !ParseAtom(word, false)) return false;
    } else if (!word.empty() && std::isdigit(static_cast<unsigned char>(word[0]))) {
      return Fail("malformed");
    }
  } else {
    response.kind = ImapResponseKind::kTagged;
    if (!ParseAtom(response.tag, false) || !Expect(' ') || !ParseAtom(word, false)) return false;
  }
  response.name = Upper(word);
  if (IsStatus(response.name) && !response.numbered) {
    if (response.kind == ImapResponseKind::kTagged && response.name != "OK" &&
        response.name != "NO" && response.name != "BAD")
      return Fail("malformed");
    return ParseStatus(response);
  }
  if (response.kind == ImapResponseKind::kTagged) return Fail("malformed");
  if (response.name == "SEARCH") return ParseSearch(onSearch);
  return ParseData(response.data, response.name == "FETCH");
}

// [SP "[" code [SP text] "]"] [SP text] CRLF; servers leave out the text.
bool ImapReader::ParseStatus(ImapResponse& response) {
  if (AtLineEnd()) return LineEnd();
  if (!Expect(' ')) return false;
  char c;
  if (!Peek(c)) return false;
  if (c == '[') {
    if (!Take() || !ParseAtom(response.code, false) || !Peek(c)) return false;
    response.code = Upper(response.code);
    if (c == ' ') {
      if (!Take()) return false;
      while (Peek(c) && c != ']' && c != '\r' && c != '\n') {
        response.codeText += c;
        if (!Take()) return false;
      }
    }
    if (!Expect(']') || !Peek(c)) return false;
    if (c == ' ' && !Take()) return false;
  }
  return ReadText(&response.text) && LineEnd();
}

// The numbers are handed on one by one; a CONDSTORE "(MODSEQ n)" is passed over.
bool ImapReader::ParseSearch(const NumberSink* onSearch) {
  m_bStreaming = true;
  for (;;) {
    if (AtLineEnd()) return LineEnd();
    if (!Expect(' ')) return false;
    char c;
    if (!Peek(c)) return false;
    if (c == '(') {
      std::vector<ImapToken> skipped;
      return ParseData(skipped, false);
    }
    if (c == '\r' || c == '\n') continue;
    std::string digits;
    uint32_t number = 0;
    if (!ParseAtom(digits, false)) return false;
    if (!ImapNumber(digits, number) || number == 0) return Fail("malformed");
    if (onSearch) (*onSearch)(number);
  }
}

bool ImapReader::ParseData(std::vector<ImapToken>& data, bool fetch) {
  int depth = 0;
  for (;;) {
    char c;
    if (!Peek(c)) return false;
    ImapToken token;
    switch (c) {
      case '\r':
      case '\n':
        if (depth != 0) return Fail("malformed");
        return LineEnd();
      case ' ':
        if (!Take()) return false;
        continue;
      case '(':
        ++depth;
        token.type = ImapToken::Type::kOpen;
        if (!Take()) return false;
        break;
      case ')':
        if (--depth < 0) return Fail("malformed");
        token.type = ImapToken::Type::kClose;
        if (!Take()) return false;
        break;
      case '"':
        token.type = ImapToken::Type::kString;
        if (!ParseQuoted(token.text)) return false;
        break;
      case '{':
        if (!ParseLiteral(token, fetch)) return false;
        break;
      default:
        if (!ParseAtom(token.text, true)) return false;
        if (Upper(token.text) == "NIL") token.type = ImapToken::Type::kNil;
        break;
    }
    data.push_back(std::move(token));
  }
}

// A "[" inside an atom opens a section ("BODY[HEADER.FIELDS (FROM)]"), taken
// whole up to its "]" with the spaces and parentheses in it.
bool ImapReader::ParseAtom(std::string& atom, bool withSections) {
  atom.clear();
  bool inSection = false;
  for (char c; Peek(c);) {
    if (inSection) {
      if (c == '\r' || c == '\n') return Fail("malformed");
      inSection = c != ']';
    } else if (AtomChar(c)) {
      inSection = withSections && c == '[';
    } else {
      return atom.empty() ? Fail("malformed") : true;
    }
    atom += c;
    if (!Take()) return false;
  }
  return false;
}

bool ImapReader::ParseQuoted(std::string& text) {
  if (!Take()) return false;
  for (char c; Peek(c);) {
    if (c == '\r' || c == '\n') return Fail("malformed");
    if (!Take()) return false;
    if (c == '"') return true;
    if (c == '\\') {
      if (!Peek(c)) return false;
      if (c == '\r' || c == '\n') return Fail("malformed");
      if (!Take()) return false;
    }
    text += c;
  }
  return false;
}

// "{n}" CRLF and n bytes; the bytes never reach the log.
bool ImapReader::ParseLiteral(ImapToken& token, bool fetch) {
  std::string digits;
  char c;
  if (!Take()) return false;
  while (Peek(c) && c != '}') {
    digits += c;
    if (!Take() || digits.size() > 10) return Fail("malformed");
  }
  uint32_t length = 0;
  if (!Expect('}') || !ImapNumber(digits, length) || !LineEnd()) return Fail("malformed");
  if (length > kMaxResponse) return Fail("too long");
  const bool keep = length <= kMaxLiteral;
  if (!keep && !fetch) return Fail("too long");
  m_bLogging = false;
  token.type = keep ? ImapToken::Type::kString : ImapToken::Type::kDropped;
  for (size_t left = length; left > 0;) {
    if (!Peek(c)) return false;
    const size_t count = std::min(left, m_buffer.size() - m_nRead);
    if (m_nResponseBytes + count > kMaxResponse) return Fail("too long");
    if (keep) token.text.append(m_buffer, m_nRead, count);
    m_nRead += count;
    m_nResponseBytes += count;
    left -= count;
  }
  m_nLineBytes = 0;
  return true;
}
