#include "platform/win32/win32_single_instance.h"

#include <string>

#include "platform/win32/wide_text.h"

namespace {

// The frame window's class, as the program registers it.
constexpr wchar_t kFrameClassName[] = L"TarvikFrame";
// The class of every dialog box and message box.
constexpr wchar_t kDialogClassName[] = L"#32770";

// One settings file however its path is spelled in letter case; a mutex
// name may not hold backslashes, so the path goes in as a number.
uint32_t SettingsMark(const std::string& settingsPath) {
  std::wstring path = Widen(settingsPath);
  if (!path.empty()) CharUpperBuffW(&path[0], static_cast<DWORD>(path.size()));
  uint32_t mark = 2166136261u;  // FNV-1a
  for (const wchar_t c : path) {
    mark ^= static_cast<uint32_t>(c);
    mark *= 16777619u;
  }
  return mark;
}

struct Handover {
  UINT message;
  WPARAM request;
  LPARAM mark;
};

BOOL CALLBACK PostToFrame(HWND window, LPARAM lParam) {
  wchar_t className[64];
  if (GetClassNameW(window, className, 64) > 0 && lstrcmpW(className, kFrameClassName) == 0) {
    const Handover* handover = reinterpret_cast<const Handover*>(lParam);
    PostMessageW(window, handover->message, handover->request, handover->mark);
  }
  return TRUE;
}

BOOL CALLBACK CancelDialog(HWND window, LPARAM) {
  wchar_t className[16];
  if (GetClassNameW(window, className, 16) > 0 && lstrcmpW(className, kDialogClassName) == 0)
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  return TRUE;
}

}  // namespace

Win32SingleInstance::~Win32SingleInstance() {
  if (m_hMutex) CloseHandle(m_hMutex);
}

// A mutex the system refuses is no reason not to run: the copy then simply
// does not know of others.
bool Win32SingleInstance::Claim(const std::string& settingsPath) {
  m_nMark = SettingsMark(settingsPath);
  const std::wstring name = L"Local\\Tarvik-" + std::to_wstring(m_nMark);
  m_hMutex = CreateMutexW(nullptr, FALSE, name.c_str());
  if (!m_hMutex || GetLastError() != ERROR_ALREADY_EXISTS) return true;
  CloseHandle(m_hMutex);
  m_hMutex = nullptr;
  return false;
}

void Win32SingleInstance::Forward(const std::string& settingsPath, CopyRequest request) {
  const Handover handover{RequestMessage(), static_cast<WPARAM>(request),
                          static_cast<LPARAM>(SettingsMark(settingsPath))};
  EnumWindows(PostToFrame, reinterpret_cast<LPARAM>(&handover));
}

std::optional<CopyRequest> Win32SingleInstance::Received(unsigned message, uintptr_t wParam,
                                                         intptr_t lParam) {
  if (message != RequestMessage() || static_cast<uint32_t>(lParam) != m_nMark) return std::nullopt;
  if (wParam != static_cast<uintptr_t>(CopyRequest::kCheck) &&
      wParam != static_cast<uintptr_t>(CopyRequest::kExit))
    return std::nullopt;
  return static_cast<CopyRequest>(wParam);
}

void Win32SingleInstance::CancelOpenDialogs() {
  EnumThreadWindows(GetCurrentThreadId(), CancelDialog, 0);
}

UINT Win32SingleInstance::RequestMessage() {
  if (!m_nMessage) m_nMessage = RegisterWindowMessageW(L"Tarvik-CopyRequest");
  return m_nMessage;
}
