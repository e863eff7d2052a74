#include "agent/mail_opener.h"

#include <cctype>

namespace {

constexpr char kBlanks[] = " \t";

std::string Trimmed(const std::string& text) {
  const size_t start = text.find_first_not_of(kBlanks);
  if (start == std::string::npos) return std::string();
  return text.substr(start, text.find_last_not_of(kBlanks) - start + 1);
}

bool IsDocumentMark(const std::string& text, size_t at) {
  return text[at] == '%' && at + 1 < text.size() &&
         (text[at + 1] == '1' || text[at + 1] == 'L' || text[at + 1] == 'l');
}

}  // namespace

std::string RegisteredCommandLine(const std::string& command) {
  std::string line;
  for (size_t at = 0; at < command.size(); ++at) {
    if (!IsDocumentMark(command, at)) {
      line += command[at];
      continue;
    }
    const bool quoted =
        !line.empty() && line.back() == '"' && at + 2 < command.size() && command[at + 2] == '"';
    if (quoted) line.pop_back();
    at += quoted ? 2 : 1;
  }
  return Trimmed(line);
}

bool IsWebAddress(const std::string& text) {
  const auto isLetter = [](char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; };
  if (text.empty() || !isLetter(text[0])) return false;
  size_t at = 1;
  while (at < text.size() &&
         (isLetter(text[at]) || std::isdigit(static_cast<unsigned char>(text[at])) ||
          text[at] == '+' || text[at] == '-' || text[at] == '.'))
    ++at;
  return at >= 2 && at < text.size() && text[at] == ':';
}

bool FindMailTarget(const std::string& setting, const std::string& registeredCommand,
                    const std::function<bool(const std::string&)>& isFile, MailTarget& found) {
  const std::string own = Trimmed(setting);
  if (!own.empty()) {
    found = {IsWebAddress(own) || isFile(own), own};
    return true;
  }
  found = {false, RegisteredCommandLine(registeredCommand)};
  return !found.text.empty();
}
