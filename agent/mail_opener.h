#pragma once

#include <string>

class Files;
class Shell;

// What "Open mail" starts: a program with its arguments, or a web address.
struct MailTarget {
  std::string target;
  std::string arguments;
};

// The settings file's key for the mail program or web address.
extern const char kMailProgramKey[];

// Splits a command line as Windows does for the program's name: a quoted
// first part, else up to the first space; the rest are its arguments.
MailTarget SplitCommand(const std::string& command);

// The user's own setting when there is one, else the registered mail
// program's command; false when there is neither. Never "mailto:", which
// writes a new message instead of opening the mailbox.
bool FindMailTarget(const std::string& setting, const std::string& registeredCommand,
                    MailTarget& found);

// Opens a web address or an existing file as Explorer would, and runs
// anything else as a command line; false when nothing could be started.
bool OpenMailTarget(Shell& shell, Files& files, const MailTarget& mail);
