#include "agent/mail_opener.h"

#include "platform/files.h"
#include "platform/shell.h"

const char kMailProgramKey[] = "MailProgram";

namespace {

std::string Trimmed(const std::string& text) {
  const size_t start = text.find_first_not_of(" \t");
  if (start == std::string::npos) return std::string();
  return text.substr(start, text.find_last_not_of(" \t") - start + 1);
}

}  // namespace

MailTarget SplitCommand(const std::string& command) {
  const std::string line = Trimmed(command);
  MailTarget split;
  size_t rest;
  if (!line.empty() && line[0] == '"') {
    const size_t close = line.find('"', 1);
    split.target = line.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    rest = close == std::string::npos ? line.size() : close + 1;
  } else {
    rest = line.find(' ');
    if (rest == std::string::npos) rest = line.size();
    split.target = line.substr(0, rest);
  }
  split.arguments = Trimmed(line.substr(rest));
  return split;
}

// A setting is taken whole: a path with spaces needs no quotes there.
bool FindMailTarget(const std::string& setting, const std::string& registeredCommand,
                    MailTarget& found) {
  const std::string own = Trimmed(setting);
  if (!own.empty()) {
    found = {own, std::string()};
    return true;
  }
  found = SplitCommand(registeredCommand);
  return !found.target.empty();
}

bool OpenMailTarget(Shell& shell, Files& files, const MailTarget& mail) {
  const bool webAddress = mail.target.find("://") != std::string::npos;
  if (mail.arguments.empty() && (webAddress || files.Exists(mail.target)))
    return shell.Open(mail.target);
  return shell.Run("\"" + mail.target + "\"" + (mail.arguments.empty() ? "" : " " + mail.arguments));
}
