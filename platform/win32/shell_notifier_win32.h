#pragma once

#include <windows.h>

#include "platform/shell_notifier.h"

// Balloons through Shell_NotifyIconW with the wide record of its own,
// beside the icon's record: Windows 10 and 11 show them as toasts.
class Win32ShellNotifier : public ShellNotifier {
 public:
  explicit Win32ShellNotifier(HINSTANCE instance) : m_hInstance(instance) {}
  ~Win32ShellNotifier();
  Win32ShellNotifier(const Win32ShellNotifier&) = delete;
  Win32ShellNotifier& operator=(const Win32ShellNotifier&) = delete;

  bool ShowBalloon(WindowHandle window, unsigned iconId, const std::string& title,
                   const std::string& text, int pictureId, bool silent,
                   BalloonKind kind) override;
  std::string RegisteredMailCommand() override;
  bool Open(const std::string& target) override;
  bool Run(const std::string& commandLine) override;

 private:
  HINSTANCE m_hInstance;
  // The balloon's picture, loaded at its first use and kept while a
  // balloon may show it.
  HICON m_hPicture = nullptr;
  int m_nPictureId = 0;
};
