#pragma once

#include <string>

#include "settings/settings_extras.h"

class Platform;
class TextCodec;

// The user's settings, in the order of their lines in the settings file.
// A switch counts as on only when it equals 1.
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
  // The newer settings, after the eleven lines.
  SettingsExtras m_extras;
};

// Minutes between checks: within both bounds after loading, and the server
// options dialog keeps what it produces within them.
constexpr int kMinimumInterval = 5;
constexpr int kMaximumInterval = 120;

// The "Write a log" switch in the settings: off unless the user turns it on.
bool LogSwitchOn(const MailSettings& settings);
void SetLogSwitch(MailSettings& settings, bool on);

// The settings file beside the executable: its last three characters become "ini".
std::string SettingsPathFor(const std::string& modulePath);

// Fills all eleven settings from the file's content, and the newer ones from
// the lines after them; a missing line reads as an empty one, so a short or
// empty file still gives a usable result.
void ParseSettings(const std::string& content, MailSettings& settings);

// The eleven CR LF lines of the file for these settings, then the newer
// settings that differ from their defaults.
std::string FormatSettings(const MailSettings& settings);

// Loads the file at path, reading no more than its first mebibyte; false
// (settings untouched) when it cannot be read.
bool LoadSettingsFile(Platform& platform, const std::string& path, MailSettings& settings);

// The text of the settings file's bytes: UTF-8 (after a byte-order mark, if
// any) when they are valid UTF-8, else the ANSI code page.
std::string SettingsFileText(const TextCodec& codec, const std::string& bytes);

// The bytes that hold text in the settings file, ANSI where that reads back
// the same and UTF-8 otherwise: SettingsFileText gives text back.
std::string SettingsFileBytes(const TextCodec& codec, const std::string& text);

// Writes the whole file as SettingsFileBytes has it, as ReplaceFileContent does.
bool SaveSettingsFile(Platform& platform, const std::string& path, const MailSettings& settings);

// Writes content through a temporary file beside path and puts it in place
// in one step, so that a failed write leaves the previous file as it was;
// where no temporary file can be created there, rewrites the file in place.
// False when neither was done.
bool ReplaceFileContent(Platform& platform, const std::string& path, const std::string& content);
