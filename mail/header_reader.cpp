#include "mail/header_reader.h"

#include <cctype>
#include <vector>

#include "mail/charsets.h"
#include "mail/safe_text.h"
#include "platform/charset_decoder.h"

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The decoders read value[begin, end) in place and stop at the first byte
// that cannot be in the word: the "=?" of a word that starts inside it stops
// them, so the words tried in one long run of text cost no more than the run.
bool DecodeQ(const std::string& value, size_t begin, size_t end, std::string& bytes) {
  for (size_t i = begin; i < end; ++i) {
    if (value[i] == '_') {
      bytes += ' ';
    } else if (value[i] != '=') {
      bytes += value[i];
    } else {
      if (i + 2 >= end) return false;
      const int high = HexValue(value[i + 1]);
      const int low = HexValue(value[i + 2]);
      if (high < 0 || low < 0) return false;
      bytes += static_cast<char>(high * 16 + low);
      i += 2;
    }
  }
  return true;
}

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Padding may be missing, as many mailers leave it out; anything else that
// is not base64 makes the word undecodable.
bool DecodeB(const std::string& value, size_t begin, size_t end, std::string& bytes) {
  unsigned bits = 0;
  int bitCount = 0;
  size_t i = begin;
  for (; i < end && value[i] != '='; ++i) {
    const int digit = Base64Value(value[i]);
    if (digit < 0) return false;
    bits = (bits << 6) | static_cast<unsigned>(digit);
    bitCount += 6;
    if (bitCount >= 8) {
      bitCount -= 8;
      bytes += static_cast<char>((bits >> bitCount) & 0xFF);
    }
  }
  if (end - i > 2) return false;
  for (; i < end; ++i)
    if (value[i] != '=') return false;
  return bitCount < 6;
}

// One "=?charset?encoding?text?=", its bytes decoded.
struct EncodedWord {
  size_t length = 0;
  std::string charset;
  std::string bytes;
};

// Finds the encoded words of one header value, in the order of their starts.
// Where a word's text ends is searched for once for a whole run of text: the
// "=?" inside that run find the answer kept, so a hostile value does not make
// each of them search the rest of the value again.
class WordFinder {
 public:
  explicit WordFinder(const std::string& value) : m_value(value) {}

  // The encoded word that starts at at, decoded; false when none does.
  bool At(size_t at, EncodedWord& word) {
    if (m_value.compare(at, 2, "=?") != 0) return false;
    const size_t charsetEnd = m_value.find('?', at + 2);
    if (charsetEnd == std::string::npos || charsetEnd + 2 >= m_value.size() ||
        m_value[charsetEnd + 2] != '?')
      return false;
    const size_t textStart = charsetEnd + 3;
    const size_t textEnd = TextEnd(textStart);
    if (textEnd == std::string::npos) return false;
    std::string charset = m_value.substr(at + 2, charsetEnd - at - 2);
    charset = charset.substr(0, charset.find('*'));  // an RFC 2231 language suffix
    if (charset.empty()) return false;
    word.bytes.clear();
    const char encoding =
        static_cast<char>(std::toupper(static_cast<unsigned char>(m_value[charsetEnd + 1])));
    if (encoding == 'Q' ? !DecodeQ(m_value, textStart, textEnd, word.bytes)
                        : encoding != 'B' || !DecodeB(m_value, textStart, textEnd, word.bytes))
      return false;
    word.charset = charset;
    word.length = textEnd + 2 - at;
    return true;
  }

 private:
  // The "?=" that ends encoded text starting at from; npos when a space or
  // the end of the value comes first.
  size_t TextEnd(size_t from) {
    if (from < m_nSearchedFrom || from > m_nStop) {
      m_nSearchedFrom = from;
      for (m_nStop = from; m_nStop < m_value.size() && !IsSpace(m_value[m_nStop]); ++m_nStop)
        if (m_value.compare(m_nStop, 2, "?=") == 0) break;
    }
    return m_nStop < m_value.size() && m_value[m_nStop] == '?' ? m_nStop : std::string::npos;
  }

  const std::string& m_value;
  // The last search and where it stopped: nothing ends a text in between.
  size_t m_nSearchedFrom = std::string::npos;
  size_t m_nStop = 0;
};

bool ToUtf8(const std::string& charset, const std::string& bytes, const CharsetDecoder* system,
            std::string& utf8) {
  if (DecodeBuiltInCharset(charset, bytes, utf8)) return true;
  return system && system->DecodeToUtf8(charset, bytes, utf8);
}

std::string Trimmed(const std::string& text) {
  const size_t start = text.find_first_not_of(" \t");
  if (start == std::string::npos) return std::string();
  return text.substr(start, text.find_last_not_of(" \t") - start + 1);
}

// The text of a quoted string or of a comment without its delimiters, with
// its backslash escapes undone.
std::string Unquoted(const std::string& text) {
  std::string plain;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      plain += text[++i];
    } else if (text[i] != '"') {
      plain += text[i];
    }
  }
  return plain;
}

// "Name <address>", "\"Name\" <address>", "address (Name)" or "address".
std::string SenderOf(const std::string& from, const CharsetDecoder* system) {
  bool quoted = false;
  for (size_t i = 0; i < from.size(); ++i) {
    if (from[i] == '\\') {
      ++i;
    } else if (from[i] == '"') {
      quoted = !quoted;
    } else if (from[i] == '<' && !quoted) {
      const std::string name = Trimmed(Unquoted(from.substr(0, i)));
      if (!name.empty()) return DecodeHeaderText(name, system);
      const size_t close = from.find('>', i);
      return Trimmed(from.substr(i + 1, close == std::string::npos ? close : close - i - 1));
    }
  }
  const size_t open = from.find('(');
  const size_t close = from.rfind(')');
  if (open != std::string::npos && close != std::string::npos && close > open) {
    const std::string comment = Trimmed(Unquoted(from.substr(open + 1, close - open - 1)));
    if (!comment.empty()) return DecodeHeaderText(comment, system);
  }
  return Trimmed(from.substr(0, open));
}

bool NameIs(const std::string& line, size_t colon, const char* name) {
  const std::string wanted = name;
  if (colon != wanted.size()) return false;
  for (size_t i = 0; i < colon; ++i)
    if (std::tolower(static_cast<unsigned char>(line[i])) != wanted[i]) return false;
  return true;
}

}  // namespace

// Adjacent encoded words of one charset are joined before conversion, as a
// character may be split between them; the space between encoded words is
// not part of the text (RFC 2047, 6.2).
std::string DecodeHeaderText(const std::string& value, const CharsetDecoder* system) {
  std::string text;
  std::string pendingCharset, pendingBytes, pendingSource, pendingSpace;
  const auto flush = [&] {
    if (pendingSource.empty()) return;
    std::string utf8;
    text += ToUtf8(pendingCharset, pendingBytes, system, utf8) ? utf8 : ValidUtf8(pendingSource);
    pendingCharset.clear(), pendingBytes.clear(), pendingSource.clear();
  };
  WordFinder words(value);
  size_t at = 0;
  while (at < value.size()) {
    EncodedWord word;
    if (words.At(at, word)) {
      if (word.charset != pendingCharset) flush();
      if (!pendingSource.empty()) pendingSource += pendingSpace;
      pendingSpace.clear();
      pendingCharset = word.charset;
      pendingBytes += word.bytes;
      pendingSource += value.substr(at, word.length);
      at += word.length;
      continue;
    }
    if (IsSpace(value[at]) && !pendingSource.empty()) {
      pendingSpace += value[at++];
      continue;
    }
    flush();
    text += pendingSpace;
    pendingSpace.clear();
    const size_t next = value.find("=?", at + 1);
    const size_t end = next == std::string::npos ? value.size() : next;
    text += ValidUtf8(value.substr(at, end - at));
    at = end;
  }
  flush();
  return SafeText(text + pendingSpace);
}

MailSummary ReadMailSummary(const std::string& header, const CharsetDecoder* system) {
  std::vector<std::string> fields;
  size_t start = 0;
  while (start < header.size()) {
    size_t end = header.find('\n', start);
    if (end == std::string::npos) end = header.size();
    std::string line = header.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) break;
    if (IsSpace(line[0]) && !fields.empty()) {
      fields.back() += line;
    } else {
      fields.push_back(line);
    }
  }
  MailSummary summary;
  bool fromSeen = false, subjectSeen = false;
  for (const std::string& field : fields) {
    const size_t colon = field.find(':');
    if (colon == std::string::npos) continue;
    const std::string value = Trimmed(field.substr(colon + 1));
    if (!fromSeen && NameIs(field, colon, "from")) {
      fromSeen = true;
      summary.sender = SafeText(SenderOf(value, system));
    } else if (!subjectSeen && NameIs(field, colon, "subject")) {
      subjectSeen = true;
      summary.subject = DecodeHeaderText(value, system);
    }
  }
  return summary;
}
