#include "settings/settings_extras.h"

#include <algorithm>
#include <iterator>

namespace {

// The newer settings, by the name of their line.
constexpr const char* kKnownKeys[] = {"LoginForm",        "WriteLog",
                                      "AnnounceOnlyNewMail", "ShowNotification",
                                      "ShowSenderAndSubject", "MailProgram"};

bool IsKnown(const std::string& key) {
  return std::find(std::begin(kKnownKeys), std::end(kKnownKeys), key) != std::end(kKnownKeys);
}

// A line break in a value would end its line early and start a false one.
std::string OneLineValue(const std::string& text) {
  std::string line;
  for (char c : text)
    if (c != '\r' && c != '\n') line += c;
  return line;
}

}  // namespace

SettingsExtras::Entries::iterator SettingsExtras::Find(const std::string& key) {
  return std::find_if(m_values.begin(), m_values.end(),
                      [&key](const auto& entry) { return entry.first == key; });
}

SettingsExtras::Entries::const_iterator SettingsExtras::Find(const std::string& key) const {
  return std::find_if(m_values.begin(), m_values.end(),
                      [&key](const auto& entry) { return entry.first == key; });
}

std::string SettingsExtras::Text(const std::string& key, const std::string& byDefault) const {
  const auto found = Find(key);
  return found == m_values.end() ? byDefault : found->second;
}

void SettingsExtras::SetText(const std::string& key, const std::string& value,
                             const std::string& byDefault) {
  const std::string stored = OneLineValue(value);
  const auto found = Find(key);
  if (stored == byDefault) {
    if (found != m_values.end()) m_values.erase(found);
  } else if (found != m_values.end()) {
    found->second = stored;
  } else {
    m_values.emplace_back(key, stored);
  }
}

bool SettingsExtras::Switch(const std::string& key, bool byDefault) const {
  const std::string value = Text(key, byDefault ? "TRUE" : "FALSE");
  if (value == "TRUE") return true;
  if (value == "FALSE") return false;
  return byDefault;
}

void SettingsExtras::SetSwitch(const std::string& key, bool on, bool byDefault) {
  SetText(key, on ? "TRUE" : "FALSE", byDefault ? "TRUE" : "FALSE");
}

void SettingsExtras::Parse(const std::vector<std::string>& lines) {
  m_values.clear();
  for (const std::string& line : lines) {
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string key = line.substr(0, equals);
    if (!IsKnown(key) || Find(key) != m_values.end()) continue;  // of two lines for one key, the first counts
    m_values.emplace_back(key, line.substr(equals + 1));
  }
}

std::string SettingsExtras::Format() const {
  std::string content;
  for (const auto& [key, value] : m_values) content += key + "=" + value + "\r\n";
  return content;
}
