#include "settings/seen_mail_file.h"

#include <algorithm>

#include "check/decimal.h"
#include "platform/files.h"
#include "settings/settings_file.h"

namespace {

constexpr char kMagic[] = "Tarvik seen mail 1";
constexpr char kImapMagic[] = "Tarvik seen IMAP mail 1";
constexpr size_t kHexDigits = 16;
// Room for a million ids; a bigger file is not ours.
constexpr size_t kMaxFileSize = 32 * 1024 * 1024;

std::string Hex(uint64_t value) {
  std::string text(kHexDigits, '0');
  for (size_t i = kHexDigits; i-- > 0; value >>= 4) text[i] = "0123456789abcdef"[value & 0xF];
  return text;
}

bool ParseHex(const std::string& text, size_t at, uint64_t& value) {
  if (at + kHexDigits > text.size()) return false;
  value = 0;
  for (size_t i = at; i < at + kHexDigits; ++i) {
    const char c = text[i];
    const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    if (digit < 0) return false;
    value = value << 4 | static_cast<uint64_t>(digit);
  }
  return true;
}

// A number as the file holds it: decimal digits, as many as an int has.
bool ParseNumber(const std::string& text, int& value) {
  if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  value = ParseDecimal(text);
  return true;
}

// A number of 1 to 10 digits within 32 bits at text[at], then end.
bool ParseUid(const std::string& text, size_t& at, char end, uint32_t& value) {
  const size_t stop = text.find(end, at);
  if (stop == std::string::npos || stop == at || stop - at > 10) return false;
  uint64_t number = 0;
  for (size_t i = at; i < stop; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    number = number * 10 + static_cast<uint64_t>(text[i] - '0');
  }
  if (number > UINT32_MAX) return false;
  value = static_cast<uint32_t>(number);
  at = stop + 1;
  return true;
}

// An IMAP record: its own first line, then the account, UIDVALIDITY and the
// highest UID, so that a POP3 file stays as it always was.
bool ParseImapRecord(const std::string& text, uint64_t account, SeenMail& seen) {
  SeenMail parsed;
  size_t at = sizeof kImapMagic;
  if (!ParseHex(text, at, parsed.account) || parsed.account != account) return false;
  at += kHexDigits;
  if (at >= text.size() || text[at++] != ' ' || !ParseUid(text, at, ' ', parsed.uidValidity) ||
      !ParseUid(text, at, '\n', parsed.lastUid) || at != text.size() || parsed.uidValidity == 0)
    return false;
  parsed.known = true;
  seen = std::move(parsed);
  return true;
}

}  // namespace

// The first line names the format, the second the account and the count,
// and the messages told by the count where there are any; then one id hash a
// line, sorted. The last line says how many there were, so that a file cut
// short is known as damaged.
std::string FormatSeenMail(const SeenMail& seen) {
  if (seen.uidValidity != 0)
    return std::string(kImapMagic) + "\n" + Hex(seen.account) + " " +
           std::to_string(seen.uidValidity) + " " + std::to_string(seen.lastUid) + "\n";
  std::string text = std::string(kMagic) + "\n" + Hex(seen.account) + " " +
                     std::to_string(seen.count) +
                     (seen.toldByCount > 0 ? " " + std::to_string(seen.toldByCount) : "") + "\n";
  text.reserve(text.size() + seen.ids.size() * (kHexDigits + 1) + 32);
  for (uint64_t id : seen.ids) text += Hex(id) + "\n";
  return text + "end " + std::to_string(seen.ids.size()) + "\n";
}

bool ParseSeenMail(const std::string& text, uint64_t account, SeenMail& seen) {
  if (text.compare(0, sizeof kImapMagic, std::string(kImapMagic) + "\n") == 0)
    return ParseImapRecord(text, account, seen);
  const std::string head = std::string(kMagic) + "\n";
  if (text.compare(0, head.size(), head) != 0) return false;
  size_t at = head.size();
  uint64_t owner = 0;
  if (!ParseHex(text, at, owner) || owner != account) return false;
  at += kHexDigits;
  if (at >= text.size() || text[at] != ' ') return false;
  const size_t countEnd = text.find('\n', at);
  if (countEnd == std::string::npos) return false;
  const std::string numbers = text.substr(at + 1, countEnd - at - 1);
  const size_t space = numbers.find(' ');
  SeenMail parsed;
  parsed.account = account;
  if (!ParseNumber(numbers.substr(0, space), parsed.count) ||
      (space != std::string::npos && !ParseNumber(numbers.substr(space + 1), parsed.toldByCount)))
    return false;
  at = countEnd + 1;
  parsed.ids.reserve((text.size() - at) / (kHexDigits + 1));
  uint64_t id = 0;
  while (ParseHex(text, at, id) && at + kHexDigits < text.size() &&
         text[at + kHexDigits] == '\n') {
    if (!parsed.ids.empty() && id <= parsed.ids.back()) return false;
    parsed.ids.push_back(id);
    at += kHexDigits + 1;
  }
  if (text.compare(at, std::string::npos, "end " + std::to_string(parsed.ids.size()) + "\n") != 0)
    return false;
  parsed.known = true;
  seen = std::move(parsed);
  return true;
}

SeenMail LoadSeenMail(Files& files, const std::string& path, uint64_t account) {
  SeenMail seen;
  seen.account = account;
  std::string text;
  if (files.ReadStart(path, kMaxFileSize, text)) ParseSeenMail(text, account, seen);
  return seen;
}

bool SaveSeenMail(Files& files, const std::string& path, const SeenMail& seen) {
  return ReplaceFileContent(files, path, FormatSeenMail(seen));
}
