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
  // A balloon notification of new mail; empty title: none.
  std::string balloonTitle;
  std::string balloonText;
};

// The newer settings that shape what is announced, as stored in the
// settings file's key=value lines, and their defaults.
extern const char kAnnounceOnlyNewKey[];
extern const char kShowNotificationKey[];
extern const char kShowSenderKey[];
constexpr bool kAnnounceOnlyNewByDefault = true;
constexpr bool kShowNotificationByDefault = true;
constexpr bool kShowSenderByDefault = true;

// The balloon's limits in UTF-16 units, its terminating NUL not counted.
constexpr size_t kBalloonTitleUnits = 63;
constexpr size_t kBalloonTextUnits = 255;

// The longest start of utf8 that takes at most units UTF-16 units, never
// splitting a character.
std::string CutToUtf16Units(const std::string& utf8, size_t units);

// What the outcome of a check means for the user with these settings.
Announcement Decide(const CheckOutcome& outcome, const MailSettings& settings);

// Text from the server as it may be shown: anything but printable ASCII
// becomes '?', so no control character, NUL or broken multi-byte character
// can get into a tooltip or box.
std::string PrintableText(const std::string& text);
