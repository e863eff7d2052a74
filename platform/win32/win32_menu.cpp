// Popup menus, built from their items each time they are shown.
#include "platform/win32/win32_services.h"
#include "platform/win32/wide_text.h"

namespace {

class Win32Menu : public Menu {
 public:
  // Without the window in front the menu would not close when the user
  // clicks elsewhere; without a message after it, its second showing may
  // not close either.
  void ShowAtPointer(WindowHandle window, const std::vector<MenuItem>& items) override {
    const HWND owner = static_cast<HWND>(window);
    POINT at{};
    GetCursorPos(&at);
    SetForegroundWindow(owner);
    const HMENU menu = CreatePopupMenu();
    if (!menu) return;
    for (const MenuItem& item : items)
      AppendMenuW(menu,
                  MF_STRING | (item.checked ? MF_CHECKED : MF_UNCHECKED) |
                      (item.enabled ? MF_ENABLED : MF_GRAYED),
                  item.command, Widen(item.text).c_str());
    TrackPopupMenu(menu, 0, at.x, at.y, 0, owner, nullptr);
    DestroyMenu(menu);
    PostMessageW(owner, WM_NULL, 0, 0);
  }
};

}  // namespace

std::shared_ptr<Menu> CreateWin32Menu() { return std::make_shared<Win32Menu>(); }
