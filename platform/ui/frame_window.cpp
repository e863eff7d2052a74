#include "platform/ui/frame_window.h"

#include "platform/win_constants.h"

FrameWindow::FrameWindow(Platform& platform) : m_platform(platform) {}

bool FrameWindow::Create(const std::string& title) {
  return m_platform.CreateFrameWindow(*this, title);
}

intptr_t FrameWindow::WindowProc(unsigned message, uintptr_t wParam, intptr_t lParam) {
  switch (message) {
    case win::kWmCreate:
      return OnCreate() ? 0 : -1;
    case win::kWmTimer:
      OnTimer(static_cast<unsigned>(wParam));
      break;
    case win::kWmClose:
      OnClose();
      return 0;
    case win::kWmQueryEndSession:
      return OnQueryEndSession() ? 1 : 0;
    case win::kWmEndSession:
      OnEndSession(wParam != 0);
      return 0;
    case win::kWmDestroy:
      OnDestroy();
      return 0;
    case win::kWmPowerBroadcast:
      if (wParam == win::kPbtApmResumeAutomatic || wParam == win::kPbtApmResumeSuspend) OnResume();
      return 1;
    case win::kWmCommand:
      OnCommand(static_cast<unsigned>(wParam & 0xFFFF));
      return 0;
    default:
      if (OnMessage(message, wParam, lParam)) return 0;
      break;
  }
  return m_platform.DefaultWindowProc(m_hWnd, message, wParam, lParam);
}

void FrameWindow::DestroyWindow() {
  if (m_hWnd) m_platform.DestroyWindow(m_hWnd);
}

void FrameWindow::OnDestroy() { m_platform.PostQuitMessage(0); }
