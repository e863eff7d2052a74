#pragma once

#include <string>

using WindowHandle = void*;

// What a balloon tells: new mail waits out the quiet time Windows keeps after
// a user's first log-on, a guide to the settings does not.
enum class BalloonKind { kNewMail, kGuide };

// What the program shows and starts through the shell.
class ShellNotifier {
 public:
  // Shows a balloon notification from the tray icon (window, iconId) with
  // the picture of resource pictureId; silent keeps the system's own sound
  // off, for a program that plays its own. Texts are UTF-8, cut to fit.
  virtual bool ShowBalloon(WindowHandle window, unsigned iconId, const std::string& title,
                           const std::string& text, int pictureId, bool silent,
                           BalloonKind kind) = 0;
  // The open command of the mail program Windows has registered as the
  // default (the user's choice, else the machine's); empty when none.
  virtual std::string RegisteredMailCommand() = 0;
  // Opens a web address or a file as Explorer would; false when nothing
  // could be started.
  virtual bool Open(const std::string& target) = 0;
  // Runs a command line with its %VAR% strings expanded, the program found
  // as the system finds it for a line (never split at the first blank as
  // Explorer would); false when nothing could be started.
  virtual bool Run(const std::string& commandLine) = 0;

 protected:
  ~ShellNotifier() = default;
};
