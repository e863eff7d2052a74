#pragma once

#include <functional>
#include <string>

// What "Open mail" starts: a web address or a file, opened as Explorer
// would, or a command line, run as it stands.
struct MailTarget {
  bool open = false;
  std::string text;
};

// The registered open command as a line to run: %1 and %L, where a document
// would be named, are removed (with the quotes around them), and so are the
// blanks and tabs at its ends.
std::string RegisteredCommandLine(const std::string& command);

// True when text starts with a URL scheme ("https:", "outlook:"): letters,
// digits, "+", "-" or "." after a first letter, then a colon. A drive
// letter's one letter is no scheme.
bool IsWebAddress(const std::string& text);

// The user's own setting when there is one: a web address, or a path for
// which isFile holds, is opened, anything else is run as a command line,
// quotes and arguments kept. Else the registered mail program's line is
// run. False when there is neither. Never "mailto:", which writes a new
// message instead of opening the mailbox.
bool FindMailTarget(const std::string& setting, const std::string& registeredCommand,
                    const std::function<bool(const std::string&)>& isFile, MailTarget& found);
