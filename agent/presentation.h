#pragma once

#include <optional>
#include <string>

#include "agent/check_result.h"
#include "settings/settings_file.h"

// Everything the user is to be told of one outcome, decided in one place and
// shown by the frame in this order: tooltip, picture, sound, foreground, box;
// after the box, for a failure, the error sound and the crossed-out picture.
struct Announcement {
  std::string tip;  // empty: the tooltip stays as it is
  int picture = 0;  // 0: the picture stays as it is
  std::optional<std::string> sound;
  bool foreground = false;
  std::string box;  // empty: no box
  unsigned boxIcon = 0;
  bool failed = false;
  std::optional<std::string> errorSound;
};

// What the outcome of a check means for the user with these settings.
Announcement Decide(const CheckOutcome& outcome, const MailSettings& settings);

// Text from the server as it may be shown: anything but printable ASCII
// becomes '?', so no control character, NUL or broken multi-byte character
// can get into a tooltip or box.
std::string PrintableText(const std::string& text);
