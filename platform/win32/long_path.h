#pragma once

#include <string>

#include "platform/long_path.h"
#include "platform/win32/wide_text.h"

// The wide path every file call of the program is given: without the long
// form, the calls stop at MAX_PATH characters.
inline std::wstring LongPathForm(const std::string& path) { return Widen(LongFormOfPath(path)); }
