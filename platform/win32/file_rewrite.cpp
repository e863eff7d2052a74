#include <windows.h>

#include "platform/win32/long_path.h"
#include "platform/win32/win32_platform.h"

// Written over from its start and cut at the new end, so that a shorter
// content leaves nothing of the old one behind; the file must exist already.
bool Win32Platform::RewriteFile(const std::string& path, const std::string& content) {
  const HANDLE file = CreateFileW(LongPathForm(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written,
                            nullptr) != FALSE &&
                  written == content.size() && SetEndOfFile(file) != FALSE &&
                  FlushFileBuffers(file) != FALSE;
  return CloseHandle(file) != FALSE && ok;
}
