// The icon in the notification area and its balloons, through
// Shell_NotifyIconW with the full wide record.
#include "platform/win32/win32_services.h"

#include <shellapi.h>
#include <algorithm>
#include <cwchar>

#include "platform/utf8_text.h"
#include "platform/win32/wide_text.h"
#include "platform/win_constants.h"

// Without NOTIFYICON_VERSION_4 the shell still sends it, in lParam alone.
static_assert(win::kNinBalloonUserClick == NIN_BALLOONUSERCLICK, "balloon click event");
static_assert(win::kWmLButtonDblClk == WM_LBUTTONDBLCLK && win::kWmRButtonDown == WM_RBUTTONDOWN,
              "mouse messages");

namespace {

// Copies text into a fixed field, cut short between characters.
template <size_t N>
void CopyField(wchar_t (&field)[N], const std::string& utf8) {
  const std::wstring wide = Widen(CutToUtf16Units(utf8, N - 1));
  std::wmemcpy(field, wide.data(), wide.size());
  field[wide.size()] = L'\0';
}

// An icon loaded at the size asked, kept while the shell may show it.
class Picture {
 public:
  ~Picture() {
    if (m_hIcon) DestroyIcon(m_hIcon);
  }
  HICON Get(HINSTANCE module, int id, int size) {
    if (id == m_nId && size == m_nSize) return m_hIcon;
    if (m_hIcon) DestroyIcon(m_hIcon);
    m_hIcon = static_cast<HICON>(
        LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
    m_nId = m_hIcon ? id : 0;
    m_nSize = size;
    return m_hIcon;
  }

 private:
  HICON m_hIcon = nullptr;
  int m_nId = 0;
  int m_nSize = 0;
};

class Win32Tray : public Tray {
 public:
  explicit Win32Tray(HINSTANCE module)
      : m_hModule(module), m_nTaskbarCreated(RegisterWindowMessageW(L"TaskbarCreated")) {}

  bool Add(const TrayRecord& record) override { return Notify(NIM_ADD, record); }
  bool Modify(const TrayRecord& record) override { return Notify(NIM_MODIFY, record); }
  void Remove(const TrayRecord& record) override { Notify(NIM_DELETE, record); }

  // The large balloon picture is the system's large icon size. News waits
  // out the quiet time Windows keeps after a first log-on or an upgrade.
  bool ShowBalloon(const TrayRecord& record, const Balloon& balloon) override {
    NOTIFYICONDATAW data = Record(record);
    data.uFlags = NIF_INFO;
    CopyField(data.szInfoTitle, balloon.title);
    CopyField(data.szInfo, balloon.text);
    data.hBalloonIcon =
        m_balloonPicture.Get(m_hModule, balloon.pictureId, GetSystemMetrics(SM_CXICON));
    data.dwInfoFlags = data.hBalloonIcon ? NIIF_USER | NIIF_LARGE_ICON : NIIF_INFO;
    if (balloon.silent) data.dwInfoFlags |= NIIF_NOSOUND;
    if (balloon.news) data.dwInfoFlags |= NIIF_RESPECT_QUIET_TIME;
    return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
  }

  std::optional<TrayEvent> Received(unsigned message, uintptr_t, intptr_t lParam) override {
    if (message == m_nTaskbarCreated) return TrayEvent::kShellRestarted;
    if (message != m_nCallbackMessage || m_nCallbackMessage == 0) return std::nullopt;
    switch (static_cast<UINT>(lParam)) {
      case WM_LBUTTONDBLCLK:
        return TrayEvent::kDoubleClick;
      case WM_RBUTTONDOWN:
        return TrayEvent::kRightClick;
      case NIN_BALLOONUSERCLICK:
        return TrayEvent::kBalloonClick;
      default:
        return std::nullopt;
    }
  }

 private:
  NOTIFYICONDATAW Record(const TrayRecord& record) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = static_cast<HWND>(record.window);
    data.uID = record.id;
    return data;
  }

  // The wide record's tooltip holds 127 UTF-16 units. The small icon size
  // picks the image drawn for the tray; the large one would be shrunk.
  bool Notify(DWORD command, const TrayRecord& record) {
    NOTIFYICONDATAW data = Record(record);
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = record.callbackMessage;
    m_nCallbackMessage = record.callbackMessage;
    data.hIcon = m_trayPicture.Get(m_hModule, record.pictureId, GetSystemMetrics(SM_CXSMICON));
    CopyField(data.szTip, record.tip);
    return Shell_NotifyIconW(command, &data) != FALSE;
  }

  const HINSTANCE m_hModule;
  const UINT m_nTaskbarCreated;
  UINT m_nCallbackMessage = 0;
  Picture m_trayPicture;
  Picture m_balloonPicture;
};

}  // namespace

std::shared_ptr<Tray> CreateWin32Tray(HINSTANCE module) { return std::make_shared<Win32Tray>(module); }
