#pragma once

#include <string>

// The form of a Windows path that the wide file calls take at any length:
// "\\?\" before a drive path, "\\?\UNC\" in place of a share's "\\", with
// forward slashes turned into backslashes, since the prefix also turns off
// the system's own tidying of the path. Paths shorter than MAX_PATH UTF-16
// units, relative ones and those already in that form stay as they are.
std::string LongFormOfPath(const std::string& path);

// A path the system reports in that form, as the user would write it:
// "\\?\C:\x" as "C:\x", "\\?\UNC\server\share" as "\\server\share".
std::string WithoutLongPathPrefix(const std::string& path);

// The path that names one settings file however it was reached: the final
// path of its folder, as the file system reports it after every junction and
// short name (a prefix the report carries removed), and the file's own name.
// The path as given when the folder's final path is unknown (empty).
std::string SettingsFileKey(const std::string& settingsPath, const std::string& finalFolder);
