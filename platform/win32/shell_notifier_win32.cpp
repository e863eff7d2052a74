#include "platform/win32/shell_notifier_win32.h"

#include <shellapi.h>

#include <algorithm>
#include <cwchar>
#include <vector>

#include "platform/win32/wide_text.h"
#include "platform/win_constants.h"

// Without NOTIFYICON_VERSION_4 the shell still sends it, in lParam alone.
static_assert(win::kNinBalloonUserClick == NIN_BALLOONUSERCLICK, "balloon click event");

namespace {

// Copies text into a fixed field, cut short rather than overflowing it.
template <size_t N>
void CopyField(wchar_t (&field)[N], const std::string& utf8) {
  const std::wstring wide = Widen(utf8);
  size_t length = std::min(wide.size(), N - 1);
  // Never leave half of a surrogate pair at the end.
  if (length > 0 && length < wide.size() && wide[length - 1] >= 0xD800 && wide[length - 1] < 0xDC00)
    --length;
  std::wmemcpy(field, wide.data(), length);
  field[length] = L'\0';
}

}  // namespace

Win32ShellNotifier::~Win32ShellNotifier() {
  if (m_hPicture) DestroyIcon(m_hPicture);
}

bool Win32ShellNotifier::ShowBalloon(WindowHandle window, unsigned iconId, const std::string& title,
                                     const std::string& text, int pictureId, bool silent,
                                     BalloonKind kind) {
  if (pictureId != m_nPictureId) {
    if (m_hPicture) DestroyIcon(m_hPicture);
    // The large balloon picture is the system's large icon size.
    m_hPicture = static_cast<HICON>(LoadImageW(m_hInstance, MAKEINTRESOURCEW(pictureId), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXICON),
                                               GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR));
    m_nPictureId = m_hPicture ? pictureId : 0;
  }
  NOTIFYICONDATAW data = {};
  data.cbSize = sizeof data;
  data.hWnd = static_cast<HWND>(window);
  data.uID = iconId;
  data.uFlags = NIF_INFO;
  CopyField(data.szInfoTitle, title);
  CopyField(data.szInfo, text);
  data.dwInfoFlags = m_hPicture ? NIIF_USER | NIIF_LARGE_ICON : NIIF_INFO;
  data.hBalloonIcon = m_hPicture;
  if (silent) data.dwInfoFlags |= NIIF_NOSOUND;
  if (kind == BalloonKind::kNewMail) data.dwInfoFlags |= NIIF_RESPECT_QUIET_TIME;
  return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

namespace {

// The default value of a key as text, its %VAR% strings left for Run to
// expand: RegGetValueW refuses to read REG_EXPAND_SZ values unless told not
// to expand them.
std::wstring DefaultValue(HKEY root, const std::wstring& key) {
  DWORD bytes = 0;
  const DWORD types = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND;
  if (RegGetValueW(root, key.c_str(), nullptr, types, nullptr, nullptr, &bytes) != ERROR_SUCCESS ||
      bytes < sizeof(wchar_t))
    return std::wstring();
  std::wstring value(bytes / sizeof(wchar_t), L'\0');
  if (RegGetValueW(root, key.c_str(), nullptr, types, nullptr, &value[0], &bytes) != ERROR_SUCCESS)
    return std::wstring();
  value.resize(std::wcslen(value.c_str()));
  return value;
}

}  // namespace

std::string Win32ShellNotifier::RegisteredMailCommand() {
  const std::wstring clients = L"Software\\Clients\\Mail";
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    const std::wstring name = DefaultValue(root, clients);
    if (name.empty()) continue;
    const std::wstring command =
        DefaultValue(root, clients + L"\\" + name + L"\\shell\\open\\command");
    if (!command.empty()) return Narrow(command);
  }
  return std::string();
}

bool Win32ShellNotifier::Open(const std::string& target) {
  // Values above 32 mean success.
  const HINSTANCE result =
      ShellExecuteW(nullptr, L"open", Widen(target).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

// CreateProcessW may write into the line it is given, so it gets a copy.
bool Win32ShellNotifier::Run(const std::string& commandLine) {
  const std::wstring line = Widen(commandLine);
  const DWORD size = ExpandEnvironmentStringsW(line.c_str(), nullptr, 0);
  if (size == 0) return false;
  std::vector<wchar_t> expanded(size);
  if (ExpandEnvironmentStringsW(line.c_str(), expanded.data(), size) > size) return false;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, expanded.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process))
    return false;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}
