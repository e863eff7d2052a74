#pragma once

#include <optional>
#include <string>

#include "check/outcome.h"
#include "platform/shell_notifier.h"
#include "settings/settings_file.h"

// What earlier outcomes leave behind that changes how the next one is told.
struct PresentationMemory {
  // The last outcome was a failure: its run has had its error sound.
  bool failing = false;
  // The rejection whose box was shown, kEnded when none, and the server,
  // user name and password it was shown for: the same rejection of the same
  // account again is told in the tooltip alone.
  OutcomeKind boxedRejection = OutcomeKind::kEnded;
  std::string boxedAccount;
  // A copy that has never had settings says once in a balloon where the
  // server is set.
  bool guideInBalloon = false;
};

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
  BalloonKind balloonKind = BalloonKind::kNewMail;
  // The memory the next outcome is decided with.
  PresentationMemory remembered;
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

// What the outcome of a check means for the user with these settings, after
// the outcomes that memory remembers.
Announcement Decide(const CheckOutcome& outcome, const MailSettings& settings,
                    const PresentationMemory& memory);

// Text from the server as it may be shown: anything but printable ASCII
// becomes '?', so no control character, NUL or broken multi-byte character
// can get into a tooltip or box.
std::string PrintableText(const std::string& text);
