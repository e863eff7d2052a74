#include "check/signin/json_reader.h"

#include <cstring>

namespace {

constexpr int kMaxDepth = 32;

class JsonReader {
 public:
  explicit JsonReader(const std::string& text) : m_text(text) {}

  bool Object(std::map<std::string, std::string>* members, int depth) {
    if (depth > kMaxDepth || !Take('{')) return false;
    if (Take('}')) return true;
    do {
      std::string name;
      std::string value;
      bool scalar = false;
      if (!String(name) || !Take(':') || !Value(value, scalar, depth)) return false;
      if (members && scalar) (*members)[name] = value;
    } while (Take(','));
    return Take('}');
  }

  bool AtEnd() {
    SkipSpace();
    return m_at == m_text.size();
  }

 private:
  void SkipSpace() {
    while (m_at < m_text.size() && std::strchr(" \t\r\n", m_text[m_at]) && m_text[m_at]) ++m_at;
  }

  bool Take(char c) {
    SkipSpace();
    if (m_at >= m_text.size() || m_text[m_at] != c) return false;
    ++m_at;
    return true;
  }

  bool Literal(const char* word) {
    const size_t length = std::strlen(word);
    if (m_text.compare(m_at, length, word) != 0) return false;
    m_at += length;
    return true;
  }

  // value holds a string's text or a number's; scalar tells which were read.
  bool Value(std::string& value, bool& scalar, int depth) {
    SkipSpace();
    if (m_at >= m_text.size()) return false;
    const char c = m_text[m_at];
    scalar = c == '"' || c == '-' || (c >= '0' && c <= '9');
    if (c == '"') return String(value);
    if (c == '{') return Object(nullptr, depth + 1);
    if (c == '[') return Array(depth + 1);
    if (scalar) return Number(value);
    return Literal("true") || Literal("false") || Literal("null");
  }

  bool Array(int depth) {
    if (depth > kMaxDepth || !Take('[')) return false;
    if (Take(']')) return true;
    do {
      std::string ignored;
      bool scalar = false;
      if (!Value(ignored, scalar, depth)) return false;
    } while (Take(','));
    return Take(']');
  }

  bool Digits() {
    const size_t start = m_at;
    while (m_at < m_text.size() && m_text[m_at] >= '0' && m_text[m_at] <= '9') ++m_at;
    return m_at > start;
  }

  bool Number(std::string& value) {
    const size_t start = m_at;
    if (m_text[m_at] == '-') ++m_at;
    if (m_at < m_text.size() && m_text[m_at] == '0')
      ++m_at;
    else if (!Digits())
      return false;
    if (m_at < m_text.size() && m_text[m_at] == '.' && (++m_at, !Digits())) return false;
    if (m_at < m_text.size() && (m_text[m_at] == 'e' || m_text[m_at] == 'E')) {
      ++m_at;
      if (m_at < m_text.size() && (m_text[m_at] == '+' || m_text[m_at] == '-')) ++m_at;
      if (!Digits()) return false;
    }
    value = m_text.substr(start, m_at - start);
    return true;
  }

  bool Hex4(unsigned& unit) {
    if (m_text.size() - m_at < 4) return false;
    unit = 0;
    for (int i = 0; i < 4; ++i) {
      const char h = m_text[m_at++];
      const int digit = h >= '0' && h <= '9'   ? h - '0'
                        : h >= 'a' && h <= 'f' ? h - 'a' + 10
                        : h >= 'A' && h <= 'F' ? h - 'A' + 10
                                               : -1;
      if (digit < 0) return false;
      unit = unit << 4 | static_cast<unsigned>(digit);
    }
    return true;
  }

  static void AppendUtf8(std::string& out, unsigned code) {
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | code >> 6);
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | code >> 12);
      out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | code >> 18);
      out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }

  // A \u escape; a surrogate pair makes one character, a lone half is refused.
  bool Unicode(std::string& out) {
    unsigned unit = 0;
    if (!Hex4(unit) || (unit >= 0xDC00 && unit <= 0xDFFF)) return false;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      unsigned low = 0;
      if (!Literal("\\u") || !Hex4(low) || low < 0xDC00 || low > 0xDFFF) return false;
      unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
    }
    AppendUtf8(out, unit);
    return true;
  }

  bool String(std::string& out) {
    if (!Take('"')) return false;
    out.clear();
    while (m_at < m_text.size()) {
      const char c = m_text[m_at++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (m_at >= m_text.size()) return false;
      const char escaped = m_text[m_at++];
      const char* const from = "\"\\/bfnrt";
      const char* const to = "\"\\/\b\f\n\r\t";
      const char* found = std::strchr(from, escaped);
      if (escaped == 'u') {
        if (!Unicode(out)) return false;
      } else if (found && escaped) {
        out += to[found - from];
      } else {
        return false;
      }
    }
    return false;
  }

  const std::string& m_text;
  size_t m_at = 0;
};

}  // namespace

bool ReadJsonObject(const std::string& text, std::map<std::string, std::string>& members) {
  members.clear();
  if (text.size() > kMaxJsonText) return false;
  JsonReader reader(text);
  if (reader.Object(&members, 0) && reader.AtEnd()) return true;
  members.clear();
  return false;
}
