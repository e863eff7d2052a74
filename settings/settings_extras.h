#pragma once

#include <string>
#include <utility>
#include <vector>

// The settings that came after the eleven lines of earlier versions, one
// "key=value" line each after them. A value equal to its default is not
// written at all, so a file whose newer settings are all at their defaults
// is the eleven lines alone, as an earlier version wrote it. Only the keys
// this version knows are read: a garbled file does not keep its garbage.
class SettingsExtras {
 public:
  // The value stored for key, or byDefault when there is none.
  std::string Text(const std::string& key, const std::string& byDefault = std::string()) const;
  // Stores value for key, or forgets key when value is its default.
  void SetText(const std::string& key, const std::string& value,
               const std::string& byDefault = std::string());
  // A switch reads as on only when its value is exactly "TRUE", like the
  // eleven lines' switches; an absent or unreadable one is its default.
  bool Switch(const std::string& key, bool byDefault) const;
  void SetSwitch(const std::string& key, bool on, bool byDefault);

  // Takes each "key=value" line of a known key, in order; other lines are
  // not settings.
  void Parse(const std::vector<std::string>& lines);
  // The stored lines, each ending in CR LF, in the order they were set.
  std::string Format() const;

  bool operator==(const SettingsExtras& other) const { return m_values == other.m_values; }
  bool operator!=(const SettingsExtras& other) const { return !(*this == other); }

 private:
  using Entries = std::vector<std::pair<std::string, std::string>>;
  Entries::iterator Find(const std::string& key);
  Entries::const_iterator Find(const std::string& key) const;

  std::vector<std::pair<std::string, std::string>> m_values;
};
