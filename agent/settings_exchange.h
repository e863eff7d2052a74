#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "settings/settings_file.h"

// Settings as a dialog closed with OK left them, and the accounts to check
// at once because of it.
struct ChangedSettings {
  MailSettings settings;
  std::vector<size_t> toCheck;
  // For the log: what the change dropped.
  std::string note;
  // The sign-ins made in the dialogs, by account id, to be kept.
  std::vector<std::pair<int, TokenGrant>> signIns = {};
};

// The first account's server options. Only a server named for the first
// time, or one just signed in to, is checked at once.
std::optional<ChangedSettings> ChangeServerOptions(Platform& platform, const MailSettings& settings);

// The accounts, each with its last outcome in words; new and changed
// accounts, and those just signed in to, are checked at once.
std::optional<ChangedSettings> ChangeAccounts(Platform& platform, const MailSettings& settings,
                                              const std::vector<std::string>& states);
