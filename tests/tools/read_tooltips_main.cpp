// read_tooltips: prints the text of every visible tooltip window of the
// session (the shell's balloons and tips among them), one line each, as
// UTF-8 with each line break shown as " | ". WM_GETTEXT is carried across
// processes by the system.
#include <windows.h>

#include <string>

namespace {

BOOL CALLBACK PrintTooltip(HWND window, LPARAM output) {
  wchar_t className[64] = {};
  GetClassNameW(window, className, 64);
  if (lstrcmpiW(className, L"tooltips_class32") != 0 || !IsWindowVisible(window)) return TRUE;
  wchar_t text[1024] = {};
  SendMessageW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
  std::wstring line;
  for (const wchar_t* c = text; *c; ++c) {
    if (*c == L'\r') continue;
    line += *c == L'\n' ? std::wstring(L" | ") : std::wstring(1, *c);
  }
  line += L"\n";
  char utf8[4096];
  const int size = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()),
                                       utf8, sizeof utf8, nullptr, nullptr);
  DWORD written = 0;
  WriteFile(reinterpret_cast<HANDLE>(output), utf8, static_cast<DWORD>(size), &written, nullptr);
  return TRUE;
}

}  // namespace

int main() {
  EnumWindows(PrintTooltip, reinterpret_cast<LPARAM>(GetStdHandle(STD_OUTPUT_HANDLE)));
  return 0;
}
