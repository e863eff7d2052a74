#include "platform/win32/win32_single_instance.h"

#include <string>

#include "platform/win32/long_path.h"

namespace {

// The frame window's class, as the program registers it.
constexpr wchar_t kFrameClassName[] = L"TarvikFrame";
// The class of every dialog box and message box.
constexpr wchar_t kDialogClassName[] = L"#32770";

// The final path of the settings file's folder; empty when the system
// cannot tell. The folder is opened for no access at all, which any folder
// the program can read its settings from allows.
std::string FinalFolderPath(const std::string& settingsPath) {
  const size_t slash = settingsPath.find_last_of("\\/");
  if (slash == std::string::npos) return std::string();
  std::string folder = settingsPath.substr(0, slash);
  if (!folder.empty() && folder.back() == ':') folder += '\\';
  const ScopedFile handle(CreateFileW(LongPathForm(folder).c_str(), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!handle.Valid()) return std::string();
  std::wstring path(MAX_PATH, L'\0');
  DWORD length =
      GetFinalPathNameByHandleW(handle.Get(), &path[0], static_cast<DWORD>(path.size()), 0);
  if (length >= path.size()) {
    path.resize(length);
    length = GetFinalPathNameByHandleW(handle.Get(), &path[0], static_cast<DWORD>(path.size()), 0);
  }
  if (length == 0 || length >= path.size()) return std::string();
  path.resize(length);
  return Narrow(path);
}

// One settings file however its path is spelled: in letter case, through a
// junction, a short name or a prefix. A mutex name may not hold
// backslashes, so the path goes in as a number.
uint32_t SettingsMark(const std::string& settingsPath) {
  std::wstring path = Widen(SettingsFileKey(settingsPath, FinalFolderPath(settingsPath)));
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

// A mutex the system refuses is no reason not to run: the copy then simply
// does not know of others.
bool Win32SingleInstance::Claim(const std::string& settingsPath) {
  m_nMark = SettingsMark(settingsPath);
  const std::wstring name = L"Local\\Tarvik-" + std::to_wstring(m_nMark);
  m_mutex.Reset(CreateMutexW(nullptr, FALSE, name.c_str()));
  if (!m_mutex.Valid() || GetLastError() != ERROR_ALREADY_EXISTS) return true;
  m_mutex.Reset();
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
