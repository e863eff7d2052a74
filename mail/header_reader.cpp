#include "mail/header_reader.h"

#include <cctype>
#include <vector>

#include "mail/charsets.h"
#include "platform/charset_decoder.h"

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool DecodeQ(const std::string& text, std::string& bytes) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '_') {
      bytes += ' ';
    } else if (text[i] != '=') {
      bytes += text[i];
    } else {
      if (i + 2 >= text.size()) return false;
      const int high = HexValue(text[i + 1]);
      const int low = HexValue(text[i + 2]);
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
bool DecodeB(const std::string& text, std::string& bytes) {
  unsigned bits = 0;
  int bitCount = 0;
  size_t end = text.size();
  while (end > 0 && text[end - 1] == '=') --end;
  if (text.size() - end > 2) return false;
  for (size_t i = 0; i < end; ++i) {
    const int value = Base64Value(text[i]);
    if (value < 0) return false;
    bits = (bits << 6) | static_cast<unsigned>(value);
    bitCount += 6;
    if (bitCount >= 8) {
      bitCount -= 8;
      bytes += static_cast<char>((bits >> bitCount) & 0xFF);
    }
  }
  return bitCount < 6;
}

// One "=?charset?encoding?text?=" at the start of rest, its bytes decoded.
struct EncodedWord {
  size_t length = 0;
  std::string charset;
  std::string bytes;
};

bool ParseEncodedWord(const std::string& value, size_t at, EncodedWord& word) {
  if (value.compare(at, 2, "=?") != 0) return false;
  const size_t charsetEnd = value.find('?', at + 2);
  if (charsetEnd == std::string::npos || charsetEnd + 2 >= value.size() ||
      value[charsetEnd + 2] != '?')
    return false;
  const size_t textStart = charsetEnd + 3;
  const size_t textEnd = value.find("?=", textStart);
  if (textEnd == std::string::npos) return false;
  const std::string text = value.substr(textStart, textEnd - textStart);
  if (text.find_first_of(" \t") != std::string::npos) return false;
  std::string charset = value.substr(at + 2, charsetEnd - at - 2);
  charset = charset.substr(0, charset.find('*'));  // an RFC 2231 language suffix
  if (charset.empty()) return false;
  word.bytes.clear();
  const char encoding = static_cast<char>(std::toupper(static_cast<unsigned char>(value[charsetEnd + 1])));
  if (encoding == 'Q' ? !DecodeQ(text, word.bytes)
                      : encoding != 'B' || !DecodeB(text, word.bytes))
    return false;
  word.charset = charset;
  word.length = textEnd + 2 - at;
  return true;
}

bool ToUtf8(const std::string& charset, const std::string& bytes, const CharsetDecoder* system,
            std::string& utf8) {
  if (DecodeBuiltInCharset(charset, bytes, utf8)) return true;
  return system && system->DecodeToUtf8(charset, bytes, utf8);
}

// Control characters (C0, DEL and C1) go; a tab becomes a space.
std::string WithoutControls(const std::string& utf8) {
  std::string shown;
  shown.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (c == '\t') {
      shown += ' ';
    } else if (c == 0xC2 && i + 1 < utf8.size() &&
               static_cast<unsigned char>(utf8[i + 1]) < 0xA0) {
      ++i;
    } else if (c >= 0x20 && c != 0x7F) {
      shown += static_cast<char>(c);
    }
  }
  return shown;
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
  size_t at = 0;
  while (at < value.size()) {
    EncodedWord word;
    if (ParseEncodedWord(value, at, word)) {
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
  return WithoutControls(text + pendingSpace);
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
      summary.sender = WithoutControls(ValidUtf8(SenderOf(value, system)));
    } else if (!subjectSeen && NameIs(field, colon, "subject")) {
      subjectSeen = true;
      summary.subject = DecodeHeaderText(value, system);
    }
  }
  return summary;
}
