#pragma once

// clang-format off
#include <winsock2.h>
#include <windows.h>
// clang-format on

#include <string>

#include "platform/platform.h"
#include "platform/ui/controls.h"

// What the program tells the platform of itself: its icon and title in the
// resources, the name of the frame's window class, and for the charsets of
// mail headers, which Windows code page a charset name stands for.
struct ProgramIdentity {
  int iconId = 0;
  unsigned titleId = 0;
  unsigned (*codePageForCharset)(const std::string& charset) = nullptr;
};

// The program's host on the real Win32 API: the hidden frame window, the
// message loop, timers and dialogs, and every service.
class Win32Platform : public Platform {
 public:
  Win32Platform(HINSTANCE instance, const ProgramIdentity& identity);

  bool CreateFrameWindow(FrameWindow& window, const std::string& title) override;
  void DestroyWindow(WindowHandle window) override;
  void HideWindow(WindowHandle window) override;
  bool BringToFront(WindowHandle window) override;
  intptr_t DefaultWindowProc(WindowHandle window, unsigned message, uintptr_t wParam,
                             intptr_t lParam) override;
  bool PostToWindow(WindowHandle window, unsigned message) override;
  void PostQuitMessage(int exitCode) override;
  int RunMessageLoop() override;
  bool SetTimer(WindowHandle window, unsigned id, unsigned periodMs) override;
  void KillTimer(WindowHandle window, unsigned id) override;
  int RunModalDialog(Dialog& dialog, int templateId) override;
  Controls& DialogControls() override { return *m_pControls; }
  const Services& GetServices() override { return m_services; }
  std::string ModuleFileName() override;
  std::vector<std::string> CommandLineArguments() override;

 private:
  HINSTANCE m_hInstance;
  ProgramIdentity m_identity;
  // The frame, once created: the owner of dialogs and boxes.
  HWND m_hMainWindow = nullptr;
  std::unique_ptr<Controls> m_pControls;
  Services m_services;
};

// The controls of the dialogs, and the resources they show.
std::unique_ptr<Controls> CreateWin32Controls(HINSTANCE module);
