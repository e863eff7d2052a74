// read_tooltips [CAPTION]: prints the text of every visible tooltip window of
// the session (the shell's balloons and tips among them), or with CAPTION the
// texts of that top-level window's controls (a message box's text, say), one
// line each, as UTF-8 with each line break shown as " | ". WM_GETTEXT is
// carried across processes by the system.
#include <windows.h>

#include <string>

namespace {

void PrintText(HWND window, HANDLE output) {
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
  WriteFile(output, utf8, static_cast<DWORD>(size), &written, nullptr);
}

BOOL CALLBACK PrintTooltip(HWND window, LPARAM output) {
  wchar_t className[64] = {};
  GetClassNameW(window, className, 64);
  if (lstrcmpiW(className, L"tooltips_class32") == 0 && IsWindowVisible(window))
    PrintText(window, reinterpret_cast<HANDLE>(output));
  return TRUE;
}

BOOL CALLBACK PrintControl(HWND window, LPARAM output) {
  PrintText(window, reinterpret_cast<HANDLE>(output));
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  const LPARAM output = reinterpret_cast<LPARAM>(GetStdHandle(STD_OUTPUT_HANDLE));
  if (argc > 1) {
    if (const HWND window = FindWindowA(nullptr, argv[1]))
      EnumChildWindows(window, PrintControl, output);
  } else {
    EnumWindows(PrintTooltip, output);
  }
  return 0;
}
