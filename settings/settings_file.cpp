#include "settings/settings_file.h"

#include "platform/files.h"
#include "platform/text_codec.h"
#include "platform/utf8_text.h"
#include "settings/settings_keys.h"

namespace {

constexpr size_t kLineCount = 11;
// Far more than eleven lines of the longest paths Windows allows and twenty
// accounts; a bigger file is not ours, and reading all of it could exhaust
// memory at start-up.
constexpr size_t kMaxFileSize = 1024 * 1024;
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

const char* SwitchText(int value) { return value == 1 ? "TRUE" : "FALSE"; }

int SwitchValue(const std::string& line) { return line == "TRUE" ? 1 : 0; }

// A line ends at CR LF, at LF or at a lone CR, so that files edited on other
// systems still read line by line instead of as one long first line.
std::vector<std::string> SplitLines(const std::string& content) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < content.size()) {
    size_t end = content.find_first_of("\r\n", start);
    if (end == std::string::npos) end = content.size();
    lines.push_back(content.substr(start, end - start));
    if (end < content.size() && content[end] == '\r' && end + 1 < content.size() &&
        content[end + 1] == '\n')
      ++end;
    start = end + 1;
  }
  return lines;
}

}  // namespace

std::vector<AccountSettings> AllAccounts(const MailSettings& settings) {
  std::vector<AccountSettings> accounts{settings.first};
  AccountSettings& first = accounts.front();
  first.server = settings.m_strServer;
  first.user = settings.m_strUser;
  first.password = settings.m_strPassword;
  first.interval = settings.m_nInterval;
  accounts.insert(accounts.end(), settings.further.begin(), settings.further.end());
  return accounts;
}

// The first account has no group, so keys only a group could keep go.
void SetAccounts(MailSettings& settings, const std::vector<AccountSettings>& accounts) {
  if (accounts.empty()) return;
  settings.first = accounts.front();
  settings.first.unknownKeys.clear();
  settings.m_strServer = accounts.front().server;
  settings.m_strUser = accounts.front().user;
  settings.m_strPassword = accounts.front().password;
  settings.m_nInterval = accounts.front().interval;
  settings.further.assign(accounts.begin() + 1, accounts.end());
}

MicrosoftSetup SignInSetup(const MailSettings& settings) {
  return MicrosoftSetupFrom(settings.microsoftClientId, settings.microsoftAuthority,
                            settings.microsoftHosts);
}

void MarkSignIn(MailSettings& settings) {
  std::vector<AccountSettings> accounts = AllAccounts(settings);
  MarkSignIn(accounts, SignInSetup(settings).hosts);
  SetAccounts(settings, accounts);
}

std::string SettingsPathFor(const std::string& modulePath) {
  const size_t keep = modulePath.size() >= 3 ? modulePath.size() - 3 : 0;
  return modulePath.substr(0, keep) + "ini";
}

void ParseSettings(const std::string& content, MailSettings& settings) {
  std::vector<std::string> line = SplitLines(content);
  if (line.size() < kLineCount) line.resize(kLineCount);
  ParseKeyLines(std::vector<std::string>(line.begin() + kLineCount, line.end()), settings);
  settings.m_strServer = line[0];
  settings.m_strUser = line[1];
  settings.m_strPassword = line[2];
  settings.m_bNewMailSound = SwitchValue(line[4]);
  settings.m_strNewMailWav = line[5];
  settings.m_bNoMailSound = SwitchValue(line[6]);
  settings.m_strNoMailWav = line[7];
  settings.m_bErrorSound = SwitchValue(line[8]);
  settings.m_strErrorWav = line[9];
  settings.m_bShowCount = SwitchValue(line[10]);
  settings.m_nInterval = IntervalFrom(line[3]);
}

std::string FormatSettings(const MailSettings& settings) {
  const std::string lines[kLineCount] = {
      OneLine(settings.m_strServer),        OneLine(settings.m_strUser),
      OneLine(settings.m_strPassword),      std::to_string(settings.m_nInterval),
      SwitchText(settings.m_bNewMailSound), OneLine(settings.m_strNewMailWav),
      SwitchText(settings.m_bNoMailSound),  OneLine(settings.m_strNoMailWav),
      SwitchText(settings.m_bErrorSound),   OneLine(settings.m_strErrorWav),
      SwitchText(settings.m_bShowCount)};
  std::string content;
  for (const std::string& line : lines) content += line + "\r\n";
  return content + FormatKeyLines(settings);
}

// Bytes that are not UTF-8 were written in the ANSI code page, by an earlier
// version or by hand. An editor may have put a byte-order mark before UTF-8;
// it is not part of the server name.
std::string SettingsFileText(const TextCodec& codec, const std::string& bytes) {
  if (!IsValidUtf8(bytes)) return codec.FromAnsi(bytes);
  return bytes.compare(0, 3, kByteOrderMark) == 0 ? bytes.substr(3) : bytes;
}

// In the ANSI code page, as earlier versions wrote and still read it, unless
// a value has no form there, or the ANSI bytes happen to be valid UTF-8 and
// would be read back as other characters ("Ü§" is DC A7 in Windows-1252, one
// Syriac letter in UTF-8). UTF-8 goes without a byte-order mark, which an
// older reader would take into the server name, unless the text itself
// starts with that character.
std::string SettingsFileBytes(const TextCodec& codec, const std::string& text) {
  std::string ansi;
  if (codec.ToAnsi(text, ansi) && SettingsFileText(codec, ansi) == text) return ansi;
  return SettingsFileText(codec, text) == text ? text : kByteOrderMark + text;
}

bool LoadSettingsFile(Files& files, const TextCodec& codec, const std::string& path,
                      MailSettings& settings) {
  std::string content;
  if (!files.ReadStart(path, kMaxFileSize, content)) return false;
  ParseSettings(SettingsFileText(codec, content), settings);
  MarkSignIn(settings);
  return true;
}

bool SaveSettingsFile(Files& files, const TextCodec& codec, const std::string& path,
                      const MailSettings& settings) {
  return ReplaceFileContent(files, path, SettingsFileBytes(codec, FormatSettings(settings)));
}

// A folder locked for the user may still hold a settings file the user may
// change.
bool ReplaceFileContent(Files& files, const std::string& path, const std::string& content) {
  switch (files.SaveAtomically(path, content)) {
    case SaveResult::kSaved:
      return true;
    case SaveResult::kNoNewFiles:
      return files.RewriteInPlace(path, content);
    case SaveResult::kFailed:
      break;
  }
  return false;
}
