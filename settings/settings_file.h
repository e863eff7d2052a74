#pragma once

#include <string>
#include <vector>

#include "settings/accounts.h"

class Files;
class TextCodec;

// The user's settings: first the eleven lines in the order of the settings
// file, which hold the first account; then the newer settings, each with its
// default; then the further accounts. A switch of the eleven lines counts as
// on only when it equals 1.
struct MailSettings {
  std::string m_strServer;
  std::string m_strUser;
  std::string m_strPassword;
  int m_nInterval = 0;
  int m_bNewMailSound = 0;
  std::string m_strNewMailWav;
  int m_bNoMailSound = 0;
  std::string m_strNoMailWav;
  int m_bErrorSound = 0;
  std::string m_strErrorWav;
  int m_bShowCount = 0;

  bool announceOnlyNew = true;
  bool showNotification = true;
  bool showSender = true;
  std::string mailProgram;
  bool writeLog = false;
  // Microsoft's sign-in: the application id, and in a test build its
  // endpoints and hosts, as written (see check/signin/microsoft.h).
  std::string microsoftClientId;
  std::string microsoftAuthority;
  std::string microsoftHosts;
  // The first account's keys beside the eleven lines (its name, log-in
  // form, push and sign-in); its server, user name, password and interval
  // are lines 1 to 4.
  AccountSettings first = {{}, {}, {}, {}, kMinimumInterval, LoginForm::kUnknown, true, {}, {}, 1};
  // The further accounts, in order, and the groups past the limit, line for
  // line as they were read.
  std::vector<AccountSettings> further;
  std::vector<std::string> keptLines;
  // The newer settings' keys in the order they were read, so that a file
  // saves back as it was.
  std::vector<std::string> keyOrder;
};

// Every account, the first one first, with its server, user name, password
// and interval.
std::vector<AccountSettings> AllAccounts(const MailSettings& settings);
// Puts the accounts back, the first into the eleven lines.
void SetAccounts(MailSettings& settings, const std::vector<AccountSettings>& accounts);

// Microsoft's sign-in as the settings set it up.
MicrosoftSetup SignInSetup(const MailSettings& settings);
// Marks which accounts sign in with Microsoft, as their server text says.
void MarkSignIn(MailSettings& settings);

// The settings file beside the executable: its last three characters become "ini".
std::string SettingsPathFor(const std::string& modulePath);

// Fills all eleven settings from the file's content, and the newer ones and
// further accounts from the lines after them; a missing line reads as an
// empty one, so a short or empty file still gives a usable result.
void ParseSettings(const std::string& content, MailSettings& settings);

// The eleven CR LF lines of the file for these settings, then the newer
// settings that differ from their defaults, then each further account's group.
std::string FormatSettings(const MailSettings& settings);

// Loads the file at path, reading no more than its first mebibyte, and
// marks which accounts sign in with Microsoft; false (settings untouched)
// when it cannot be read.
bool LoadSettingsFile(Files& files, const TextCodec& codec, const std::string& path,
                      MailSettings& settings);

// The text of the settings file's bytes: UTF-8 (after a byte-order mark, if
// any) when they are valid UTF-8, else the ANSI code page.
std::string SettingsFileText(const TextCodec& codec, const std::string& bytes);

// The bytes that hold text in the settings file, ANSI where that reads back
// the same and UTF-8 otherwise: SettingsFileText gives text back.
std::string SettingsFileBytes(const TextCodec& codec, const std::string& text);

// Writes the whole file as SettingsFileBytes has it, as ReplaceFileContent does.
bool SaveSettingsFile(Files& files, const TextCodec& codec, const std::string& path,
                      const MailSettings& settings);

// Saves content at path in one step, so that a failed write leaves the
// previous file as it was; where the folder takes no new file, rewrites the
// file in place. False when neither was done.
bool ReplaceFileContent(Files& files, const std::string& path, const std::string& content);
