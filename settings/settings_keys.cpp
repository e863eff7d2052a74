#include "settings/settings_keys.h"

#include <algorithm>
#include <optional>

#include "check/signin/microsoft.h"
#include "settings/settings_file.h"

namespace {

using Value = std::optional<std::string>;

constexpr char kGroupStart[] = "Account";

Value SwitchValue(bool on, bool byDefault) {
  if (on == byDefault) return std::nullopt;
  return std::string(on ? "TRUE" : "FALSE");
}

// A switch reads as on only when its value is exactly "TRUE", like the
// eleven lines' switches; an unreadable one is its default.
bool SwitchFrom(const std::string& value, bool byDefault) {
  return value == "TRUE" ? true : value == "FALSE" ? false : byDefault;
}

Value TextValue(const std::string& text) {
  if (text.empty()) return std::nullopt;
  return text;
}

// A key of one account: the same for the first account, whose keys stand
// among the newer settings, and for a group.
struct AccountKey {
  const char* name;
  void (*read)(AccountSettings&, const std::string&);
  Value (*write)(const AccountSettings&);
};

const AccountKey kServer{"Server", [](AccountSettings& a, const std::string& v) { a.server = v; },
                         [](const AccountSettings& a) -> Value { return a.server; }};
const AccountKey kUser{"User", [](AccountSettings& a, const std::string& v) { a.user = v; },
                       [](const AccountSettings& a) -> Value { return a.user; }};
// Written only where the password store refused it.
const AccountKey kPassword{"Password",
                           [](AccountSettings& a, const std::string& v) { a.password = v; },
                           [](const AccountSettings& a) { return TextValue(a.password); }};
const AccountKey kMinutes{
    "Minutes", [](AccountSettings& a, const std::string& v) { a.interval = IntervalFrom(v); },
    [](const AccountSettings& a) -> Value { return std::to_string(a.interval); }};
const AccountKey kLoginForm{
    "LoginForm",
    [](AccountSettings& a, const std::string& v) {
      a.loginForm = v == "UTF-8" ? LoginForm::kUtf8 : v == "ANSI" ? LoginForm::kAnsi : LoginForm::kUnknown;
    },
    [](const AccountSettings& a) -> Value {
      if (a.loginForm == LoginForm::kUnknown) return std::nullopt;
      return std::string(a.loginForm == LoginForm::kAnsi ? "ANSI" : "UTF-8");
    }};
const AccountKey kPush{"Push",
                       [](AccountSettings& a, const std::string& v) { a.push = SwitchFrom(v, true); },
                       [](const AccountSettings& a) { return SwitchValue(a.push, true); }};
const AccountKey kSignIn{"SignIn", [](AccountSettings& a, const std::string& v) { a.signIn = v; },
                         [](const AccountSettings& a) { return TextValue(a.signIn); }};

// In the order a group writes them.
const AccountKey* const kGroupKeys[] = {&kServer,    &kUser, &kPassword, &kMinutes,
                                        &kLoginForm, &kPush, &kSignIn};
// The first account's server, user name, password and interval are lines 1 to 4.
const AccountKey* const kFirstAccountKeys[] = {&kLoginForm, &kPush, &kSignIn};

// A newer setting of the whole program.
struct GlobalKey {
  const char* name;
  void (*read)(MailSettings&, const std::string&);
  Value (*write)(const MailSettings&);
};

const GlobalKey kGlobalKeys[] = {
    {"AnnounceOnlyNewMail",
     [](MailSettings& s, const std::string& v) { s.announceOnlyNew = SwitchFrom(v, true); },
     [](const MailSettings& s) { return SwitchValue(s.announceOnlyNew, true); }},
    {"ShowNotification",
     [](MailSettings& s, const std::string& v) { s.showNotification = SwitchFrom(v, true); },
     [](const MailSettings& s) { return SwitchValue(s.showNotification, true); }},
    {"ShowSenderAndSubject",
     [](MailSettings& s, const std::string& v) { s.showSender = SwitchFrom(v, true); },
     [](const MailSettings& s) { return SwitchValue(s.showSender, true); }},
    {"WriteLog", [](MailSettings& s, const std::string& v) { s.writeLog = SwitchFrom(v, false); },
     [](const MailSettings& s) { return SwitchValue(s.writeLog, false); }},
    {"MailProgram", [](MailSettings& s, const std::string& v) { s.mailProgram = v; },
     [](const MailSettings& s) { return TextValue(s.mailProgram); }},
    {"AccountName", [](MailSettings& s, const std::string& v) { s.first.name = v; },
     [](const MailSettings& s) { return TextValue(s.first.name); }},
    {kMicrosoftClientIdKey,
     [](MailSettings& s, const std::string& v) { s.microsoftClientId = v; },
     [](const MailSettings& s) { return TextValue(s.microsoftClientId); }},
    {kMicrosoftAuthorityKey,
     [](MailSettings& s, const std::string& v) { s.microsoftAuthority = v; },
     [](const MailSettings& s) { return TextValue(s.microsoftAuthority); }},
    {kMicrosoftHostsKey, [](MailSettings& s, const std::string& v) { s.microsoftHosts = v; },
     [](const MailSettings& s) { return TextValue(s.microsoftHosts); }},
};

// An earlier version takes the first line of a key wherever it stands: in a
// file with groups these are written before them, so that it never takes a
// group's value for the program's or the first account's.
bool WrittenBeforeGroups(const std::string& key) {
  return key == "MailProgram" || key == kLoginForm.name;
}

struct Line {
  std::string key;
  std::string value;
};

bool SplitKeyLine(const std::string& line, Line& parsed) {
  const size_t equals = line.find('=');
  if (equals == std::string::npos) return false;
  parsed = {line.substr(0, equals), line.substr(equals + 1)};
  return true;
}

// Reads a key of the newer settings or of the first account; false when it
// is none of them.
bool ReadGlobal(MailSettings& settings, const Line& line) {
  for (const GlobalKey& key : kGlobalKeys)
    if (line.key == key.name) return key.read(settings, line.value), true;
  for (const AccountKey* key : kFirstAccountKeys)
    if (line.key == key->name) return key->read(settings.first, line.value), true;
  return false;
}

// Each newer setting that is to be written, as key and value, in the order
// of the tables.
std::vector<Line> GlobalLines(const MailSettings& settings, bool groupsFollow) {
  std::vector<Line> lines;
  const auto add = [&](const char* name, const Value& value) {
    if (value || (groupsFollow && WrittenBeforeGroups(name)))
      lines.push_back({name, OneLine(value.value_or(std::string()))});
  };
  for (const GlobalKey& key : kGlobalKeys) add(key.name, key.write(settings));
  for (const AccountKey* key : kFirstAccountKeys) add(key->name, key->write(settings.first));
  return lines;
}

void ReadGroupLine(AccountSettings& group, std::vector<std::string>& seen, const Line& line) {
  if (std::find(seen.begin(), seen.end(), line.key) != seen.end()) return;
  seen.push_back(line.key);
  for (const AccountKey* key : kGroupKeys)
    if (line.key == key->name) return key->read(group, line.value);
  group.unknownKeys.emplace_back(line.key, line.value);
}

}  // namespace

std::string OneLine(const std::string& text) {
  std::string line;
  line.reserve(text.size());
  for (char c : text)
    if (c != '\r' && c != '\n') line += c;
  return line;
}

void ParseKeyLines(const std::vector<std::string>& lines, MailSettings& settings) {
  settings.first = AccountSettings();
  settings.first.id = 1;
  settings.further.clear();
  settings.keptLines.clear();
  settings.keyOrder.clear();
  std::vector<std::string> seenInGroup;
  bool inGroup = false;
  bool keeping = false;
  for (const std::string& text : lines) {
    Line line;
    const bool keyLine = SplitKeyLine(text, line);
    if (keyLine && line.key == kGroupStart) {
      inGroup = true;
      keeping = keeping || settings.further.size() + 1 >= kMaxAccounts;
      if (!keeping) {
        settings.further.emplace_back();
        settings.further.back().name = line.value;
        settings.further.back().id = static_cast<int>(settings.further.size()) + 1;
        seenInGroup.clear();
      }
    }
    if (keeping) {
      settings.keptLines.push_back(text);
    } else if (!keyLine || line.key == kGroupStart) {
      continue;
    } else if (inGroup) {
      ReadGroupLine(settings.further.back(), seenInGroup, line);
    } else if (std::find(settings.keyOrder.begin(), settings.keyOrder.end(), line.key) ==
                   settings.keyOrder.end() &&
               ReadGlobal(settings, line)) {
      settings.keyOrder.push_back(line.key);
    }
  }
}

std::string FormatKeyLines(const MailSettings& settings) {
  const bool groupsFollow = !settings.further.empty() || !settings.keptLines.empty();
  std::vector<Line> global = GlobalLines(settings, groupsFollow);
  // The keys in the order they were read first, then the rest.
  std::stable_sort(global.begin(), global.end(), [&settings](const Line& a, const Line& b) {
    const auto rank = [&settings](const Line& line) {
      return std::find(settings.keyOrder.begin(), settings.keyOrder.end(), line.key) -
             settings.keyOrder.begin();
    };
    return rank(a) < rank(b);
  });
  std::string content;
  for (const Line& line : global) content += line.key + "=" + line.value + "\r\n";
  for (const AccountSettings& group : settings.further) {
    content += std::string(kGroupStart) + "=" + OneLine(group.name) + "\r\n";
    for (const AccountKey* key : kGroupKeys)
      if (const Value value = key->write(group))
        content += std::string(key->name) + "=" + OneLine(*value) + "\r\n";
    for (const auto& [key, value] : group.unknownKeys)
      content += OneLine(key) + "=" + OneLine(value) + "\r\n";
  }
  for (const std::string& line : settings.keptLines) content += line + "\r\n";
  return content;
}
