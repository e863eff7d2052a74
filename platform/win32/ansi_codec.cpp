#include "platform/win32/ansi_codec.h"

#include <windows.h>

#include "platform/win32/wide_text.h"

// WideCharToMultiByte reports a character the code page lacks only through
// usedDefault; the round trip also catches a best-fit mapping ("ł" as "l"),
// which would read back as another text.
bool AnsiCodec::ToAnsi(const std::string& utf8, std::string& ansi) const {
  ansi.clear();
  const std::wstring wide = Widen(utf8);
  if (wide.empty()) return utf8.empty();
  const int size = static_cast<int>(wide.size());
  BOOL usedDefault = FALSE;
  const int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), size, nullptr,
                                         0, nullptr, &usedDefault);
  if (length <= 0 || usedDefault) return false;
  ansi.assign(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), size, &ansi[0], length, nullptr,
                      &usedDefault);
  return !usedDefault && FromAnsi(ansi) == utf8;
}

std::string AnsiCodec::FromAnsi(const std::string& ansi) const {
  if (ansi.empty()) return std::string();
  const int size = static_cast<int>(ansi.size());
  const int length = MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, nullptr, 0);
  if (length <= 0) return std::string();
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, &wide[0], length);
  return Narrow(wide);
}
