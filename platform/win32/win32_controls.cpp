// The controls of the program's dialogs, and the resources dialogs show.
#include "platform/win32/win32_platform.h"

#include <commdlg.h>
#include <vector>

#include "platform/win32/wide_text.h"

namespace {

HWND ToHwnd(WindowHandle window) { return static_cast<HWND>(window); }

std::string WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  if (length <= 0) return std::string();
  std::vector<wchar_t> text(static_cast<size_t>(length) + 1);
  const int copied = GetWindowTextW(window, text.data(), length + 1);
  return Narrow(std::wstring(text.data(), copied > 0 ? static_cast<size_t>(copied) : 0));
}

class Win32Controls : public Controls {
 public:
  explicit Win32Controls(HINSTANCE module) : m_hModule(module) {}

  std::string Text(WindowHandle dialog, int controlId) override {
    return WindowText(GetDlgItem(ToHwnd(dialog), controlId));
  }

  void SetText(WindowHandle dialog, int controlId, const std::string& text) override {
    SetDlgItemTextW(ToHwnd(dialog), controlId, Widen(text).c_str());
  }

  bool IsChecked(WindowHandle dialog, int controlId) override {
    return IsDlgButtonChecked(ToHwnd(dialog), controlId) == BST_CHECKED;
  }

  void Check(WindowHandle dialog, int controlId, bool checked) override {
    CheckDlgButton(ToHwnd(dialog), controlId, checked ? BST_CHECKED : BST_UNCHECKED);
  }

  void Enable(WindowHandle dialog, int controlId, bool enabled) override {
    EnableWindow(GetDlgItem(ToHwnd(dialog), controlId), enabled ? TRUE : FALSE);
  }

  void Show(WindowHandle dialog, int controlId, bool shown) override {
    ShowWindow(GetDlgItem(ToHwnd(dialog), controlId), shown ? SW_SHOW : SW_HIDE);
  }

  void SetCaption(WindowHandle dialog, const std::string& text) override {
    SetWindowTextW(ToHwnd(dialog), Widen(text).c_str());
  }

  void SetListRows(WindowHandle dialog, int controlId, const std::vector<std::string>& rows,
                   const std::vector<int>& tabStops, int selected) override {
    const HWND list = GetDlgItem(ToHwnd(dialog), controlId);
    std::vector<INT> stops(tabStops.begin(), tabStops.end());
    SendMessageW(list, LB_SETTABSTOPS, stops.size(), reinterpret_cast<LPARAM>(stops.data()));
    SendMessageW(list, LB_RESETCONTENT, 0, 0);
    for (const std::string& row : rows)
      SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(row).c_str()));
    SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(selected), 0);
  }

  int SelectedRow(WindowHandle dialog, int controlId) override {
    const LRESULT row = SendDlgItemMessageW(ToHwnd(dialog), controlId, LB_GETCURSEL, 0, 0);
    return row == LB_ERR ? -1 : static_cast<int>(row);
  }

  void EndDialog(WindowHandle dialog, int result) override { ::EndDialog(ToHwnd(dialog), result); }

  bool IsMinimised(WindowHandle dialog) override { return IsIconic(ToHwnd(dialog)) != FALSE; }

  void PaintIconCentred(WindowHandle window, IconHandle icon) override {
    const HWND hwnd = ToHwnd(window);
    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(hwnd, &paint);
    SendMessageW(hwnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    const int iconWidth = GetSystemMetrics(SM_CXICON);
    const int iconHeight = GetSystemMetrics(SM_CYICON);
    RECT client;
    GetClientRect(hwnd, &client);
    const int x = (client.right - client.left - iconWidth + 1) / 2;
    const int y = (client.bottom - client.top - iconHeight + 1) / 2;
    DrawIcon(dc, x, y, static_cast<HICON>(icon));
    EndPaint(hwnd, &paint);
  }

  bool ChooseFile(WindowHandle owner, const std::string& filter,
                  const std::string& defaultExtension, std::string& path) override {
    std::wstring filterList = Widen(filter);
    for (wchar_t& c : filterList)
      if (c == L'|') c = L'\0';
    const std::wstring extension = Widen(defaultExtension);
    std::vector<wchar_t> file(32768, L'\0');
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = ToHwnd(owner);
    dialog.lpstrFilter = filterList.c_str();
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrDefExt = extension.c_str();
    dialog.Flags = OFN_EXPLORER;
    if (!GetOpenFileNameW(&dialog)) return false;
    path = Narrow(file.data());
    return true;
  }

  IconHandle LoadIcon(int resourceId) override {
    return LoadIconW(m_hModule, MAKEINTRESOURCEW(resourceId));
  }

  std::string LoadText(unsigned resourceId) override {
    // Length zero asks for a read-only pointer to the resource's own text.
    const wchar_t* text = nullptr;
    const int length = LoadStringW(m_hModule, resourceId, reinterpret_cast<wchar_t*>(&text), 0);
    return length > 0 ? Narrow(std::wstring(text, static_cast<size_t>(length))) : std::string();
  }

 private:
  const HINSTANCE m_hModule;
};

}  // namespace

std::unique_ptr<Controls> CreateWin32Controls(HINSTANCE module) {
  return std::make_unique<Win32Controls>(module);
}
