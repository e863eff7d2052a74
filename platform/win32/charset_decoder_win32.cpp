#include "platform/win32/charset_decoder_win32.h"

#include <windows.h>

#include "platform/win32/wide_text.h"

bool Win32CharsetDecoder::DecodeToUtf8(const std::string& charset, const std::string& bytes,
                                       std::string& utf8) const {
  const UINT codePage = m_codePageFor ? m_codePageFor(charset) : 0;
  if (codePage == 0 || !IsValidCodePage(codePage) || bytes.size() > 0x7FFFFFFF) return false;
  if (bytes.empty()) {
    utf8.clear();
    return true;
  }
  // The stateful (ISO-2022) and UTF-7 code pages take no flags.
  const bool takesNoFlags = (codePage >= 50220 && codePage <= 50229) || codePage == 65000;
  const DWORD flags = takesNoFlags ? 0 : MB_ERR_INVALID_CHARS;
  const int size = static_cast<int>(bytes.size());
  const int length = MultiByteToWideChar(codePage, flags, bytes.data(), size, nullptr, 0);
  if (length <= 0) return false;
  std::wstring wide(static_cast<size_t>(length), L'\0');
  if (MultiByteToWideChar(codePage, flags, bytes.data(), size, &wide[0], length) != length)
    return false;
  utf8 = Narrow(wide);
  return true;
}
