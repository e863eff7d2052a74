// record_start: stands for a mail program; appends its command line to
// record_start.txt beside itself, then ends.
#include <windows.h>

int main() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return 1;
  lstrcpyW(path + length - 4, L".txt");
  const HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  const wchar_t* line = GetCommandLineW();
  char utf8[2048];
  const int size = WideCharToMultiByte(CP_UTF8, 0, line, -1, utf8, sizeof utf8 - 2, nullptr, nullptr);
  if (size > 0) {
    utf8[size - 1] = '\n';
    DWORD written = 0;
    WriteFile(file, utf8, static_cast<DWORD>(size), &written, nullptr);
  }
  CloseHandle(file);
  return 0;
}
