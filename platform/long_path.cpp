#include "platform/long_path.h"

#include <cctype>

namespace {

constexpr size_t kMaxPath = 260;
constexpr char kPrefix[] = "\\\\?\\";
constexpr char kSharePrefix[] = "\\\\?\\UNC\\";

bool StartsWith(const std::string& text, const char* start) { return text.rfind(start, 0) == 0; }

bool IsSlash(char c) { return c == '\\' || c == '/'; }

// Each UTF-8 byte that is not a continuation starts one unit; a four-byte
// sequence is a surrogate pair.
size_t Utf16Units(const std::string& text) {
  size_t units = 0;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte & 0xC0) != 0x80) ++units;
    if (byte >= 0xF0) ++units;
  }
  return units;
}

std::string WithBackslashes(std::string path) {
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

}  // namespace

std::string LongFormOfPath(const std::string& path) {
  if (Utf16Units(path) < kMaxPath || StartsWith(path, kPrefix)) return path;
  if (path.size() > 2 && IsSlash(path[0]) && IsSlash(path[1]))
    return kSharePrefix + WithBackslashes(path.substr(2));
  if (path.size() > 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
      IsSlash(path[2]))
    return kPrefix + WithBackslashes(path);
  return path;
}

std::string WithoutLongPathPrefix(const std::string& path) {
  if (StartsWith(path, kSharePrefix)) return "\\\\" + path.substr(sizeof kSharePrefix - 1);
  if (StartsWith(path, kPrefix)) return path.substr(sizeof kPrefix - 1);
  return path;
}

std::string SettingsFileKey(const std::string& settingsPath, const std::string& finalFolder) {
  if (finalFolder.empty()) return settingsPath;
  const size_t slash = settingsPath.find_last_of("\\/");
  std::string folder = WithoutLongPathPrefix(finalFolder);
  if (folder.back() != '\\') folder += '\\';
  return folder + settingsPath.substr(slash == std::string::npos ? 0 : slash + 1);
}
