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
