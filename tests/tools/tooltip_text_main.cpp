// tooltip_text: prints the text of every visible tooltip window on the
// desktop, one a line, in UTF-8. WM_GETTEXT crosses processes, so the
// shell's tooltip over a tray icon can be read from here.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

BOOL CALLBACK PrintTooltip(HWND window, LPARAM) {
  wchar_t windowClass[64] = {};
  GetClassNameW(window, windowClass, 64);
  if (lstrcmpiW(windowClass, L"tooltips_class32") != 0 || !IsWindowVisible(window)) return TRUE;
  wchar_t text[1024] = {};
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text),
                           SMTO_ABORTIFHUNG, 2000, &copied))
    return TRUE;
  char utf8[4096] = {};
  const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
  if (length > 1) std::printf("%s\n", utf8);
  return TRUE;
}

}  // namespace

int main() {
  EnumWindows(PrintTooltip, 0);
  return 0;
}
