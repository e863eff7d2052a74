#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

// A top-level window that is never shown. The platform hands every message to
// WindowProc, which a subclass turns into calls of small typed handlers.
class FrameWindow {
 public:
  explicit FrameWindow(Platform& platform);
  virtual ~FrameWindow() = default;
  FrameWindow(const FrameWindow&) = delete;
  FrameWindow& operator=(const FrameWindow&) = delete;

  // Creates the hidden window; the creation handler runs before this returns.
  bool Create(const std::string& title);
  // Called by the platform with the first message, before creation completes,
  // and with null after the last one.
  void Attach(WindowHandle handle) { m_hWnd = handle; }
  WindowHandle Handle() const { return m_hWnd; }
  // Every message to the window arrives here.
  virtual intptr_t WindowProc(unsigned message, uintptr_t wParam, intptr_t lParam);

 protected:
  // The frame's own close handling: destroys the window, ending the program.
  void DestroyWindow();
  intptr_t Default(unsigned message, uintptr_t wParam, intptr_t lParam);
  virtual void OnDestroy();

  Platform& m_platform;

 private:
  WindowHandle m_hWnd = nullptr;
};
