#pragma once

#include <vector>

#include "platform/menu.h"

// What the tray menu shows now.
struct MenuState {
  bool canOpenMail = false;
  // Without an autorun item when this user may change no Run key.
  bool autorunAvailable = false;
  bool autorunOn = false;
};

// The tray menu's items, in order: Open mail first, Exit last.
std::vector<MenuItem> TrayMenuItems(const MenuState& state);
