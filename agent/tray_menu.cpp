#include "agent/tray_menu.h"

#include "res/resource.h"

std::vector<MenuItem> TrayMenuItems(const MenuState& state) {
  std::vector<MenuItem> items = {{ID_OPEN_MAIL, "Open &mail", false, state.canOpenMail},
                                 {ID_SERVER_OPTIONS, "&Server options"},
                                 {ID_ACCOUNTS, "A&ccounts..."},
                                 {ID_SOUND_OPTIONS, "S&ound options"},
                                 {ID_NOTIFICATION_OPTIONS, "&Notification options"}};
  if (state.autorunAvailable) items.push_back({ID_AUTORUN, "Autorun at boot", state.autorunOn});
  items.push_back({ID_TRAY_ABOUT, "&About..."});
  items.push_back({ID_TRAY_EXIT, "E&xit"});
  return items;
}
