#pragma once

#include <string>

#include "platform/platform.h"

// A popup menu owned by one object; destroyed with it at the latest.
class PopupMenu {
 public:
  explicit PopupMenu(Platform& platform) : m_platform(platform) {}
  ~PopupMenu() { Destroy(); }
  PopupMenu(const PopupMenu&) = delete;
  PopupMenu& operator=(const PopupMenu&) = delete;

  bool Create();
  bool Append(unsigned command, const std::string& text, bool checked = false);
  void Check(unsigned command, bool checked);
  void Enable(unsigned command, bool enabled);
  // Shows the menu at the point; the chosen command arrives later at owner.
  void Track(ScreenPoint at, WindowHandle owner);
  void Destroy();
  MenuHandle Handle() const { return m_hMenu; }

 private:
  Platform& m_platform;
  MenuHandle m_hMenu = nullptr;
};
