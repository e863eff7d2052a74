#pragma once

#include <string>

// The one pair of conversions between the program's UTF-8 text and the
// UTF-16 text of the wide Windows functions. Invalid input never fails:
// each broken sequence becomes U+FFFD, as Windows converts it.
std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& utf16);
// The same for a NUL-terminated wide buffer the system filled in.
std::string Narrow(const wchar_t* utf16);
