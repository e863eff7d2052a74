#pragma once

#include <string>
#include <vector>

using WindowHandle = void*;

struct MenuItem {
  unsigned command = 0;
  std::string text;
  bool checked = false;
  bool enabled = true;
};

// Popup menus.
class Menu {
 public:
  virtual ~Menu() = default;
  // Shows the items as a popup menu at the pointer, owned by window, which
  // comes to the front first so the menu closes when the user clicks
  // elsewhere; the chosen item arrives later at window as a command.
  virtual void ShowAtPointer(WindowHandle window, const std::vector<MenuItem>& items) = 0;
};
