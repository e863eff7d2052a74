#include "platform/ui/frame_window.h"

#include "platform/win_constants.h"

FrameWindow::FrameWindow(Platform& platform) : m_platform(platform) {}

bool FrameWindow::Create(const std::string& title) {
  return m_platform.CreateFrameWindow(*this, title);
}

intptr_t FrameWindow::WindowProc(unsigned message, uintptr_t wParam, intptr_t lParam) {
  if (message == win::kWmDestroy) {
    OnDestroy();
    return 0;
  }
  return Default(message, wParam, lParam);
}

void FrameWindow::DestroyWindow() {
  if (m_hWnd) m_platform.DestroyWindow(m_hWnd);
}

intptr_t FrameWindow::Default(unsigned message, uintptr_t wParam, intptr_t lParam) {
  return m_platform.DefaultWindowProc(m_hWnd, message, wParam, lParam);
}

// The frame is the program's main window: when it goes, the program ends.
void FrameWindow::OnDestroy() { m_platform.PostQuitMessage(0); }
