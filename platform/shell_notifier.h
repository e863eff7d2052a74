#pragma once

#include <string>

using WindowHandle = void*;

// What the program shows and starts through the shell.
class ShellNotifier {
 public:
  // Shows a balloon notification from the tray icon (window, iconId) with
  // the picture of resource pictureId; silent keeps the system's own sound
  // off, for a program that plays its own. Texts are UTF-8, cut to fit.
  virtual bool ShowBalloon(WindowHandle window, unsigned iconId, const std::string& title,
                           const std::string& text, int pictureId, bool silent) = 0;
  // The open command of the mail program Windows has registered as the
  // default (the user's choice, else the machine's); empty when none.
  virtual std::string RegisteredMailCommand() = 0;
  // Starts the program with the arguments, or opens a web address or file,
  // as Explorer would; false when nothing could be started.
  virtual bool Open(const std::string& target, const std::string& arguments) = 0;

 protected:
  ~ShellNotifier() = default;
};
