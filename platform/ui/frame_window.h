#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

// A top-level window that is never shown. The platform hands every message to
// WindowProc, which turns it into a call of a small typed handler.
class FrameWindow {
 public:
  explicit FrameWindow(Platform& platform);
  virtual ~FrameWindow() = default;
  FrameWindow(const FrameWindow&) = delete;
  FrameWindow& operator=(const FrameWindow&) = delete;

  // Creates the hidden window; OnCreate runs before this returns.
  bool Create(const std::string& title);
  // Called by the platform with the first message, before creation completes,
  // and with null after the last one.
  void Attach(WindowHandle handle) { m_hWnd = handle; }
  WindowHandle Handle() const { return m_hWnd; }
  // Every message to the window arrives here.
  intptr_t WindowProc(unsigned message, uintptr_t wParam, intptr_t lParam);

 protected:
  // False ends the window's creation.
  virtual bool OnCreate() { return true; }
  virtual void OnTimer(unsigned) {}
  // The default destroys the window, ending the program.
  virtual void OnClose() { DestroyWindow(); }
  // Whether the session may end now.
  virtual bool OnQueryEndSession() { return true; }
  virtual void OnEndSession(bool) {}
  // The default ends the message loop: the frame is the program's main window.
  virtual void OnDestroy();
  // The computer woke from sleep.
  virtual void OnResume() {}
  virtual void OnCommand(unsigned) {}
  // Any other message; true when it was handled.
  virtual bool OnMessage(unsigned, uintptr_t, intptr_t) { return false; }

  void DestroyWindow();

  Platform& m_platform;

 private:
  WindowHandle m_hWnd = nullptr;
};
