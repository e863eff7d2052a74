// read_tooltips: prints the text of every visible tooltip window of the
// session (the shell's balloons and tips among them), one line each, as
// UTF-8 with each line break shown as " | ". WM_GETTEXT is carried across
// processes by the system.
//
//   read_tooltips [CAPTION | --wait TEXT]
//
// With CAPTION it prints the texts of that top-level window's controls
// instead (a message box's text, say). With --wait it prints "watching",
// then looks every 20 ms until a visible tooltip reads TEXT, prints that line
// and ends; after a minute it fails. Started before an event, it times what
// the event shows without the start of a Windows program in the way.
#include <windows.h>

#include <string>
#include <vector>

namespace {

std::string Utf8(const std::wstring& text) {
  char utf8[4096];
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                       utf8, sizeof utf8, nullptr, nullptr);
  return std::string(utf8, static_cast<size_t>(size > 0 ? size : 0));
}

BOOL CALLBACK CollectText(HWND window, LPARAM lines) {
  wchar_t text[1024] = {};
  SendMessageW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
  std::wstring line;
  for (const wchar_t* c = text; *c; ++c) {
    if (*c == L'\r') continue;
    line += *c == L'\n' ? std::wstring(L" | ") : std::wstring(1, *c);
  }
  reinterpret_cast<std::vector<std::string>*>(lines)->push_back(Utf8(line));
  return TRUE;
}

BOOL CALLBACK CollectTooltip(HWND window, LPARAM lines) {
  wchar_t className[64] = {};
  GetClassNameW(window, className, 64);
  if (lstrcmpiW(className, L"tooltips_class32") != 0 || !IsWindowVisible(window)) return TRUE;
  return CollectText(window, lines);
}

std::vector<std::string> VisibleTooltips() {
  std::vector<std::string> lines;
  EnumWindows(CollectTooltip, reinterpret_cast<LPARAM>(&lines));
  return lines;
}

void Print(const std::string& line) {
  DWORD written = 0;
  const std::string text = line + "\n";
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()),
            &written, nullptr);
}

}  // namespace

int main() {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (count == 3 && lstrcmpW(arguments[1], L"--wait") == 0) {
    const std::string awaited = Utf8(arguments[2]);
    Print("watching");
    for (int i = 0; i < 3000; ++i) {
      for (const std::string& line : VisibleTooltips()) {
        if (line != awaited) continue;
        Print(line);
        return 0;
      }
      Sleep(20);
    }
    return 1;
  }
  std::vector<std::string> lines;
  if (count == 2) {
    if (const HWND window = FindWindowW(nullptr, arguments[1]))
      EnumChildWindows(window, CollectText, reinterpret_cast<LPARAM>(&lines));
  } else {
    lines = VisibleTooltips();
  }
  for (const std::string& line : lines) Print(line);
  return 0;
}
