#pragma once

#include <optional>
#include <string>
#include <vector>

#include "check/outcome.h"
#include "monitor/account_memory.h"
#include "platform/boxes.h"
#include "settings/settings_file.h"

// One account as the presentation sees it.
struct AccountView {
  // Its name as the user sees it; empty while it is the only account.
  std::string name;
  // Its server, user name and password, which a rejection is told for.
  std::string login;
  AccountMemory memory;
};

// An outcome of one account, told now.
struct Arrival {
  size_t account = 0;
  CheckOutcome outcome;
};

// Everything the user is to be told, decided in one place and shown by the
// frame in this order: sound, foreground, balloon, box; after the box the
// error sound; last the one update of the tray icon's picture and tooltip,
// which with several accounts comes first instead.
struct Announcement {
  int picture = 0;  // 0: the picture stays as it is
  std::string tip;  // empty: the tooltip stays as it is
  std::optional<std::string> sound;
  bool foreground = false;
  // The boxes to show in turn: refusals, then the count.
  struct Box {
    std::string text;
    BoxKind kind;
  };
  std::vector<Box> boxes;
  // The accounts the boxes tell of, a refusal or a count: their conversations
  // end when the boxes close.
  std::vector<size_t> inBox;
  std::optional<std::string> errorSound;
  // A balloon notification; empty title: none. News waits out the system's
  // quiet time; the first start's guidance does not.
  std::string balloonTitle;
  std::string balloonText;
  bool news = true;
  // The tray icon needs updating.
  bool update = false;
  // Each account's memory for its next outcome.
  std::vector<AccountMemory> remembered;
};

// The balloon's limits in UTF-16 units, its terminating NUL not counted.
constexpr size_t kBalloonTitleUnits = 63;
constexpr size_t kBalloonTextUnits = 255;
// The tooltip's, as the shell shows it.
constexpr size_t kTipUnits = 127;

// What the arrivals mean for the user with these settings, told together:
// every account's memory is brought up to date and the picture and tooltip
// follow all of them. With showAll false only the picture and tooltip are
// decided, the rest waits for the arrivals to be told. While a count box is
// open no second one is decided.
Announcement Decide(const std::vector<AccountView>& accounts, const std::vector<Arrival>& arrivals,
                    const MailSettings& settings, bool boxOpen, bool showAll = true);

// The first start's guidance, said once in a balloon.
Announcement Guide(const std::string& text);

// Text from the server as it may be shown in the tooltip or a box: anything
// but printable ASCII becomes '?', so no control character, NUL or broken
// multi-byte character can get into them.
std::string PrintableText(const std::string& text);
