#include "platform/ui/popup_menu.h"

bool PopupMenu::Create() {
  Destroy();
  m_hMenu = m_platform.CreatePopupMenu();
  return m_hMenu != nullptr;
}

bool PopupMenu::Append(unsigned command, const std::string& text, bool checked) {
  return m_hMenu && m_platform.AppendMenuItem(m_hMenu, command, text, checked);
}

void PopupMenu::Enable(unsigned command, bool enabled) {
  if (m_hMenu) m_platform.EnableMenuItem(m_hMenu, command, enabled);
}

void PopupMenu::Check(unsigned command, bool checked) {
  if (m_hMenu) m_platform.CheckMenuItem(m_hMenu, command, checked);
}

void PopupMenu::Track(ScreenPoint at, WindowHandle owner) {
  if (m_hMenu) m_platform.TrackPopupMenu(m_hMenu, at, owner);
}

void PopupMenu::Destroy() {
  if (!m_hMenu) return;
  m_platform.DestroyMenu(m_hMenu);
  m_hMenu = nullptr;
}
