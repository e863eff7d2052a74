#pragma once

#include <string>

// What the program starts through the system.
class Shell {
 public:
  virtual ~Shell() = default;
  // The open command of the mail program Windows has registered as the
  // default (the user's choice, else the machine's); empty when none.
  virtual std::string RegisteredMailCommand() = 0;
  // Opens a web address or an existing file as Explorer would; false when
  // nothing could be opened.
  virtual bool Open(const std::string& target) = 0;
  // Runs a command line, its %VAR% strings expanded, exactly as written:
  // the program is what the line's first part names; false when it could
  // not be started.
  virtual bool Run(const std::string& commandLine) = 0;
};
