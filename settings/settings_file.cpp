#include "settings/settings_file.h"

#include <vector>

#include "check/decimal.h"
#include "platform/platform.h"
#include "platform/utf8_text.h"

namespace {

constexpr size_t kLineCount = 11;
constexpr char kLogSwitchKey[] = "WriteLog";
// Far more than eleven lines of the longest paths Windows allows; a bigger
// file is not ours, and reading all of it could exhaust memory at start-up.
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

// A line break inside a value would shift every later line of the file.
std::string OneLine(const std::string& text) {
  std::string line;
  line.reserve(text.size());
  for (char c : text)
    if (c != '\r' && c != '\n') line += c;
  return line;
}

}  // namespace

bool LogSwitchOn(const MailSettings& settings) {
  return settings.m_extras.Switch(kLogSwitchKey, false);
}

void SetLogSwitch(MailSettings& settings, bool on) {
  settings.m_extras.SetSwitch(kLogSwitchKey, on, false);
}

std::string SettingsPathFor(const std::string& modulePath) {
  const size_t keep = modulePath.size() >= 3 ? modulePath.size() - 3 : 0;
  return modulePath.substr(0, keep) + "ini";
}

void ParseSettings(const std::string& content, MailSettings& settings) {
  std::vector<std::string> line = SplitLines(content);
  if (line.size() < kLineCount) line.resize(kLineCount);
  settings.m_extras.Parse(std::vector<std::string>(line.begin() + kLineCount, line.end()));
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
  const int interval = ParseDecimal(line[3]);
  settings.m_nInterval = interval < kMinimumInterval   ? kMinimumInterval
                         : interval > kMaximumInterval ? kMaximumInterval
                                                       : interval;
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
  return content + settings.m_extras.Format();
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

bool LoadSettingsFile(Platform& platform, const std::string& path, MailSettings& settings) {
  std::string content;
  if (!platform.ReadFileStart(path, kMaxFileSize, content)) return false;
  ParseSettings(SettingsFileText(platform.Codec(), content), settings);
  return true;
}

bool SaveSettingsFile(Platform& platform, const std::string& path, const MailSettings& settings) {
  return ReplaceFileContent(platform, path,
                            SettingsFileBytes(platform.Codec(), FormatSettings(settings)));
}

bool ReplaceFileContent(Platform& platform, const std::string& path, const std::string& content) {
  const std::string temporary = path + "." + std::to_string(platform.ProcessId()) + ".tmp";
  if (platform.WriteNewFile(temporary, content)) {
    if (platform.MoveFileReplacing(temporary, path)) return true;
    platform.RemoveFile(temporary);
    return false;
  }
  // A temporary file that was created but not filled means a full disk, where
  // a rewrite in place would cut the file short; one that could not be
  // created means a folder the user may not write to, whose files the user
  // may still be allowed to rewrite.
  const bool created = platform.CanOpenForReading(temporary);
  platform.RemoveFile(temporary);
  return !created && platform.RewriteFile(path, content);
}
