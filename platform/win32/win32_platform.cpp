#include "platform/win32/win32_platform.h"

#include <commdlg.h>
#include <mmsystem.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "platform/ui/dialog.h"
#include "platform/ui/frame_window.h"
#include "platform/utf8_text.h"
#include "platform/wave_check.h"
#include "platform/win32/label_fit.h"
#include "platform/win32/long_path.h"
#include "platform/win32/wave_player.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/winsock_transport.h"
#include "platform/win_constants.h"
#include "res/resource.h"

static_assert(win::kWmCreate == WM_CREATE && win::kWmDestroy == WM_DESTROY &&
                  win::kWmPaint == WM_PAINT && win::kWmClose == WM_CLOSE &&
                  win::kWmQueryEndSession == WM_QUERYENDSESSION &&
                  win::kWmEndSession == WM_ENDSESSION &&
                  win::kWmQueryDragIcon == WM_QUERYDRAGICON &&
                  win::kWmInitDialog == WM_INITDIALOG && win::kWmCommand == WM_COMMAND &&
                  win::kWmSysCommand == WM_SYSCOMMAND && win::kWmTimer == WM_TIMER,
              "window messages");
static_assert(win::kWmMouseMove == WM_MOUSEMOVE && win::kWmLButtonDown == WM_LBUTTONDOWN &&
                  win::kWmLButtonUp == WM_LBUTTONUP && win::kWmLButtonDblClk == WM_LBUTTONDBLCLK &&
                  win::kWmRButtonDown == WM_RBUTTONDOWN && win::kWmRButtonUp == WM_RBUTTONUP &&
                  win::kWmUser == WM_USER && WM_TRAY_NOTIFY == WM_USER + 500,
              "mouse messages");
static_assert(win::kScMinimize == SC_MINIMIZE && win::kIdOk == IDOK && win::kIdCancel == IDCANCEL &&
                  win::kMbOk == MB_OK && win::kMbIconExclamation == MB_ICONEXCLAMATION &&
                  win::kMbIconInformation == MB_ICONINFORMATION && win::kSwHide == SW_HIDE,
              "commands and flags");
static_assert(win::kNifMessage == NIF_MESSAGE && win::kNifIcon == NIF_ICON &&
                  win::kNifTip == NIF_TIP && win::kSndAsync == SND_ASYNC,
              "tray and sound flags");

namespace {

constexpr wchar_t kFrameClassName[] = L"TarvikFrame";

LRESULT CALLBACK FrameProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* window =
        static_cast<FrameWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
    window->Attach(hwnd);
  }
  auto* window = reinterpret_cast<FrameWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!window) return DefWindowProcW(hwnd, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    window->Attach(nullptr);
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }
  return window->WindowProc(message, wParam, lParam);
}

INT_PTR CALLBACK DialogThunk(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* dialog = reinterpret_cast<Dialog*>(lParam);
    SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(dialog));
    dialog->Attach(hwnd);
    if (dialog->FitsLabelsToText()) FitLabelsToText(hwnd);
  }
  auto* dialog = reinterpret_cast<Dialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  return dialog ? dialog->DialogProc(message, wParam, lParam) : FALSE;
}

HWND ToHwnd(WindowHandle window) { return static_cast<HWND>(window); }

HANDLE OpenFile(const std::string& path, DWORD access, DWORD disposition) {
  return CreateFileW(LongPathForm(path).c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

Win32Platform::Win32Platform(HINSTANCE instance) : m_hInstance(instance), m_shell(instance) {}

Win32Platform::~Win32Platform() { StopSound(); }

bool Win32Platform::CreateFrameWindow(FrameWindow& window, const std::string& title) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = FrameProc;
  windowClass.hInstance = m_hInstance;
  windowClass.hIcon = LoadIconW(m_hInstance, MAKEINTRESOURCEW(IDR_MAINFRAME));
  windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszMenuName = MAKEINTRESOURCEW(IDR_MAINFRAME);
  windowClass.lpszClassName = kFrameClassName;
  RegisterClassExW(&windowClass);
  return CreateWindowExW(0, kFrameClassName, Widen(title).c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                         CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, m_hInstance,
                         &window) != nullptr;
}

void Win32Platform::DestroyWindow(WindowHandle window) { ::DestroyWindow(ToHwnd(window)); }

void Win32Platform::ShowWindow(WindowHandle window, int command) {
  ::ShowWindow(ToHwnd(window), command);
}

void Win32Platform::UpdateWindow(WindowHandle window) { ::UpdateWindow(ToHwnd(window)); }

bool Win32Platform::SetForegroundWindow(WindowHandle window) {
  return ::SetForegroundWindow(ToHwnd(window)) != FALSE;
}

intptr_t Win32Platform::DefaultWindowProc(WindowHandle window, unsigned message, uintptr_t wParam,
                                          intptr_t lParam) {
  return DefWindowProcW(ToHwnd(window), message, wParam, lParam);
}

unsigned Win32Platform::TaskbarCreatedMessage() {
  if (!m_nTaskbarCreated) m_nTaskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
  return m_nTaskbarCreated;
}

void Win32Platform::SetMainWindow(WindowHandle window) { m_hMainWindow = ToHwnd(window); }

void Win32Platform::PostQuitMessage(int exitCode) { ::PostQuitMessage(exitCode); }

bool Win32Platform::PostToWindow(WindowHandle window, unsigned message) {
  return PostMessageW(ToHwnd(window), message, 0, 0) != FALSE;
}

int Win32Platform::RunMessageLoop() {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}

bool Win32Platform::SetTimer(WindowHandle window, unsigned id, unsigned periodMs) {
  return ::SetTimer(ToHwnd(window), id, periodMs, nullptr) != 0;
}

ScreenPoint Win32Platform::GetCursorPos() {
  POINT point{};
  ::GetCursorPos(&point);
  return ScreenPoint{point.x, point.y};
}

IconHandle Win32Platform::LoadIconResource(int resourceId) {
  return LoadIconW(m_hInstance, MAKEINTRESOURCEW(resourceId));
}

// LoadIcon would give the large size, which the shell shrinks blurred or
// ragged; the small size picks the image drawn for the tray.
IconHandle Win32Platform::LoadTrayIcon(int resourceId) {
  return LoadImageW(m_hInstance, MAKEINTRESOURCEW(resourceId), IMAGE_ICON,
                    GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED);
}

std::string Win32Platform::LoadStringResource(unsigned id) {
  // Length zero asks for a read-only pointer to the resource's own text.
  const wchar_t* text = nullptr;
  const int length = LoadStringW(m_hInstance, id, reinterpret_cast<wchar_t*>(&text), 0);
  return length > 0 ? Narrow(std::wstring(text, static_cast<size_t>(length))) : std::string();
}

int Win32Platform::ShowMessageBox(WindowHandle owner, const std::string& text, const char* caption,
                                  unsigned flags) {
  const std::string title = caption ? caption : LoadStringResource(AFX_IDS_APP_TITLE);
  return MessageBoxW(ToHwnd(owner), Widen(text).c_str(), Widen(title).c_str(), flags);
}

// The full wide record: its tooltip holds 127 UTF-16 units where the first
// version's held 63 bytes of the ANSI code page.
bool Win32Platform::NotifyIcon(TrayAction action, const NotifyIconData& data) {
  NOTIFYICONDATAW record{};
  record.cbSize = sizeof record;
  record.hWnd = ToHwnd(data.hWnd);
  record.uID = data.uID;
  record.uFlags = data.uFlags;
  record.uCallbackMessage = data.uCallbackMessage;
  record.hIcon = static_cast<HICON>(data.hIcon);
  const std::wstring tip = Widen(CutToUtf16Units(data.tip, ARRAYSIZE(record.szTip) - 1));
  std::copy(tip.begin(), tip.end(), record.szTip);
  const DWORD command = action == TrayAction::kAdd      ? NIM_ADD
                        : action == TrayAction::kModify ? NIM_MODIFY
                                                        : NIM_DELETE;
  return Shell_NotifyIconW(command, &record) != FALSE;
}

// The wave stays in m_strSound, in use by the system, until the next sound
// replaces it; the sound playing is stopped before its buffer goes. One byte
// more than the largest playable file is read, to tell a larger one.
std::string Win32Platform::PlaySoundFile(const std::string& fileName, unsigned flags) {
  StopSound();
  if (!ReadFileStart(fileName, kMaxWaveBytes + 1, m_strSound)) return "it cannot be read";
  return PlayWave(m_strSound, (flags & SND_ASYNC) != 0);
}

void Win32Platform::StopSound() {
  StopWave();
  m_strSound.clear();
}

MenuHandle Win32Platform::CreatePopupMenu() { return ::CreatePopupMenu(); }

bool Win32Platform::AppendMenuItem(MenuHandle menu, unsigned command, const std::string& text,
                                   bool checked) {
  return AppendMenuW(static_cast<HMENU>(menu), MF_STRING | (checked ? MF_CHECKED : MF_UNCHECKED),
                     command, Widen(text).c_str()) != FALSE;
}

void Win32Platform::CheckMenuItem(MenuHandle menu, unsigned command, bool checked) {
  ::CheckMenuItem(static_cast<HMENU>(menu), command,
                  MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

void Win32Platform::EnableMenuItem(MenuHandle menu, unsigned command, bool enabled) {
  ::EnableMenuItem(static_cast<HMENU>(menu), command,
                   MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

void Win32Platform::TrackPopupMenu(MenuHandle menu, ScreenPoint at, WindowHandle owner) {
  ::TrackPopupMenu(static_cast<HMENU>(menu), 0, at.x, at.y, 0, ToHwnd(owner), nullptr);
  // Without a message after the menu, its second showing may not close
  // when the user clicks elsewhere.
  PostMessageW(ToHwnd(owner), WM_NULL, 0, 0);
}

void Win32Platform::DestroyMenu(MenuHandle menu) { ::DestroyMenu(static_cast<HMENU>(menu)); }

int Win32Platform::RunModalDialog(Dialog& dialog, int templateId) {
  return static_cast<int>(DialogBoxParamW(m_hInstance, MAKEINTRESOURCEW(templateId), m_hMainWindow,
                                          DialogThunk, reinterpret_cast<LPARAM>(&dialog)));
}

void Win32Platform::EndDialog(WindowHandle dialog, int result) {
  ::EndDialog(ToHwnd(dialog), result);
}

std::string Win32Platform::GetItemText(WindowHandle dialog, int controlId) {
  const HWND control = GetDlgItem(ToHwnd(dialog), controlId);
  const int length = GetWindowTextLengthW(control);
  if (length <= 0) return std::string();
  std::vector<wchar_t> text(static_cast<size_t>(length) + 1);
  const int copied = GetWindowTextW(control, text.data(), length + 1);
  return Narrow(std::wstring(text.data(), copied > 0 ? static_cast<size_t>(copied) : 0));
}

void Win32Platform::SetItemText(WindowHandle dialog, int controlId, const std::string& text) {
  SetDlgItemTextW(ToHwnd(dialog), controlId, Widen(text).c_str());
}

bool Win32Platform::IsItemChecked(WindowHandle dialog, int controlId) {
  return IsDlgButtonChecked(ToHwnd(dialog), controlId) == BST_CHECKED;
}

void Win32Platform::CheckItem(WindowHandle dialog, int controlId, bool checked) {
  CheckDlgButton(ToHwnd(dialog), controlId, checked ? BST_CHECKED : BST_UNCHECKED);
}

bool Win32Platform::IsIconic(WindowHandle window) { return ::IsIconic(ToHwnd(window)) != FALSE; }

void Win32Platform::PaintIconCentred(WindowHandle window, IconHandle icon) {
  const HWND hwnd = ToHwnd(window);
  PAINTSTRUCT paint;
  const HDC dc = BeginPaint(hwnd, &paint);
  SendMessageW(hwnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  const int iconWidth = GetSystemMetrics(SM_CXICON);
  const int iconHeight = GetSystemMetrics(SM_CYICON);
  RECT client;
  GetClientRect(hwnd, &client);
  const int x = (client.right - client.left - iconWidth + 1) / 2;
  const int y = (client.bottom - client.top - iconHeight + 1) / 2;
  DrawIcon(dc, x, y, static_cast<HICON>(icon));
  EndPaint(hwnd, &paint);
}

bool Win32Platform::ChooseFileToOpen(WindowHandle owner, const std::string& filter,
                                     const std::string& defaultExtension, std::string& path) {
  std::wstring filterList = Widen(filter);
  for (wchar_t& c : filterList)
    if (c == L'|') c = L'\0';
  const std::wstring extension = Widen(defaultExtension);
  std::vector<wchar_t> file(32768, L'\0');
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = ToHwnd(owner);
  dialog.lpstrFilter = filterList.c_str();
  dialog.lpstrFile = file.data();
  dialog.nMaxFile = static_cast<DWORD>(file.size());
  dialog.lpstrDefExt = extension.c_str();
  dialog.Flags = OFN_EXPLORER;
  if (!GetOpenFileNameW(&dialog)) return false;
  path = Narrow(file.data());
  return true;
}

namespace {

constexpr wchar_t kRunKeyPath[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// An open registry key, closed with its owner.
class OpenKey {
 public:
  OpenKey() = default;
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  ~OpenKey() {
    if (m_hKey) RegCloseKey(m_hKey);
  }
  HKEY* Receive() { return &m_hKey; }
  HKEY Get() const { return m_hKey; }

 private:
  HKEY m_hKey = nullptr;
};

HKEY RootKey(RegistryRoot root) {
  return root == RegistryRoot::kLocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

// With all access rights, as a change needs; created when a fresh user
// profile has no Run key yet. Without administrator rights the machine's
// key refuses this.
bool OpenRunKeyForWriting(RegistryRoot root, OpenKey& key) {
  wchar_t keyClass[] = L"REG_SZ";
  return RegCreateKeyExW(RootKey(root), kRunKeyPath, 0, keyClass, REG_OPTION_NON_VOLATILE,
                         KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr) == ERROR_SUCCESS;
}

}  // namespace

bool Win32Platform::CanWriteRunKey(RegistryRoot root) {
  OpenKey key;
  return OpenRunKeyForWriting(root, key);
}

bool Win32Platform::RunValueExists(RegistryRoot root, const std::string& name) {
  OpenKey key;
  return RegOpenKeyExW(RootKey(root), kRunKeyPath, 0, KEY_QUERY_VALUE, key.Receive()) ==
             ERROR_SUCCESS &&
         RegQueryValueExW(key.Get(), Widen(name).c_str(), nullptr, nullptr, nullptr, nullptr) ==
             ERROR_SUCCESS;
}

// The stored length includes the terminating NUL, as the registry asks of a
// string value, so that no reader of the value can run past its end.
bool Win32Platform::WriteRunValue(RegistryRoot root, const std::string& name,
                                  const std::string& data) {
  OpenKey key;
  const std::wstring text = Widen(data);
  return OpenRunKeyForWriting(root, key) &&
         RegSetValueExW(key.Get(), Widen(name).c_str(), 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool Win32Platform::DeleteRunValue(RegistryRoot root, const std::string& name) {
  OpenKey key;
  if (!OpenRunKeyForWriting(root, key)) return !RunValueExists(root, name);
  const LONG result = RegDeleteValueW(key.Get(), Widen(name).c_str());
  return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}

std::string Win32Platform::ModuleFileName() {
  std::vector<wchar_t> path(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return std::string();
    if (length < path.size()) return Narrow(std::wstring(path.data(), length));
    path.resize(path.size() * 2);
  }
}

std::vector<std::string> Win32Platform::CommandLineArguments() {
  int count = 0;
  wchar_t** const words = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  for (int i = 1; words && i < count; ++i) arguments.push_back(Narrow(words[i]));
  LocalFree(words);
  return arguments;
}

unsigned long Win32Platform::ProcessId() { return GetCurrentProcessId(); }

bool Win32Platform::CanOpenForReading(const std::string& path) {
  const HANDLE file = OpenFile(path, GENERIC_READ, OPEN_EXISTING);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

bool Win32Platform::ReadFileStart(const std::string& path, size_t maxBytes,
                                  std::string& content) {
  const HANDLE file = OpenFile(path, GENERIC_READ, OPEN_EXISTING);
  if (file == INVALID_HANDLE_VALUE) return false;
  content.clear();
  char chunk[65536];
  bool ok = true;
  while (content.size() < maxBytes) {
    const DWORD wanted = static_cast<DWORD>(std::min(sizeof chunk, maxBytes - content.size()));
    DWORD count = 0;
    ok = ReadFile(file, chunk, wanted, &count, nullptr) != FALSE;
    if (!ok || count == 0) break;
    content.append(chunk, count);
  }
  CloseHandle(file);
  return ok;
}

bool Win32Platform::WriteNewFile(const std::string& path, const std::string& content) {
  const HANDLE file = OpenFile(path, GENERIC_WRITE, CREATE_ALWAYS);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written,
                            nullptr) != FALSE &&
                  written == content.size() && FlushFileBuffers(file) != FALSE;
  return CloseHandle(file) != FALSE && ok;
}

bool Win32Platform::MoveFileReplacing(const std::string& from, const std::string& to) {
  return MoveFileExW(LongPathForm(from).c_str(), LongPathForm(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

void Win32Platform::RemoveFile(const std::string& path) { DeleteFileW(LongPathForm(path).c_str()); }

bool Win32Platform::StartSockets() { return StartWinsock(); }

std::unique_ptr<Transport> Win32Platform::CreateTransport() { return CreateWinsockTransport(); }
