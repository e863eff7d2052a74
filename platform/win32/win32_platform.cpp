#include "platform/win32/win32_platform.h"
#include "platform/win32/win32_services.h"

#include <shellapi.h>
#include <vector>

#include "platform/ui/dialog.h"
#include "platform/ui/frame_window.h"
#include "platform/win32/ansi_codec.h"
#include "platform/win32/charset_decoder_win32.h"
#include "platform/win32/label_fit.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/win32_single_instance.h"
#include "platform/win32/win32_system_events.h"
#include "platform/win_constants.h"

static_assert(win::kWmCreate == WM_CREATE && win::kWmDestroy == WM_DESTROY &&
                  win::kWmPaint == WM_PAINT && win::kWmClose == WM_CLOSE &&
                  win::kWmQueryEndSession == WM_QUERYENDSESSION &&
                  win::kWmEndSession == WM_ENDSESSION &&
                  win::kWmQueryDragIcon == WM_QUERYDRAGICON &&
                  win::kWmInitDialog == WM_INITDIALOG && win::kWmCommand == WM_COMMAND &&
                  win::kWmSysCommand == WM_SYSCOMMAND && win::kWmTimer == WM_TIMER &&
                  win::kScMinimize == SC_MINIMIZE && kFirstProgramMessage == WM_APP &&
                  kLastProgramMessage == 0xBFFF &&
                  kIdOk == IDOK && kIdCancel == IDCANCEL,
              "messages, commands and dialog results");
static_assert(win::kWmMouseMove == WM_MOUSEMOVE && win::kWmLButtonDown == WM_LBUTTONDOWN &&
                  win::kWmLButtonUp == WM_LBUTTONUP && win::kWmRButtonUp == WM_RBUTTONUP,
              "mouse messages the tests send");

namespace {

constexpr wchar_t kFrameClassName[] = L"TarvikFrame";

HWND ToHwnd(WindowHandle window) { return static_cast<HWND>(window); }

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

std::string LoadText(HINSTANCE module, unsigned id) {
  // Length zero asks for a read-only pointer to the resource's own text.
  const wchar_t* text = nullptr;
  const int length = LoadStringW(module, id, reinterpret_cast<wchar_t*>(&text), 0);
  return length > 0 ? Narrow(std::wstring(text, static_cast<size_t>(length))) : std::string();
}

}  // namespace

// Every service lives as long as anything uses it: a check's thread that
// still runs when the program ends keeps what it touches.
Win32Platform::Win32Platform(HINSTANCE instance, const ProgramIdentity& identity)
    : m_hInstance(instance), m_identity(identity), m_pControls(CreateWin32Controls(instance)) {
  m_services.tray = CreateWin32Tray(instance);
  m_services.menu = CreateWin32Menu();
  m_services.boxes = CreateWin32Boxes(&m_hMainWindow, LoadText(instance, identity.titleId));
  m_services.files = CreateWin32Files();
  m_services.sound = CreateWin32Sound(m_services.files);
  m_services.autorun = CreateWin32Autorun();
  m_services.credentials = CreateWin32Credentials();
  m_services.shell = CreateWin32Shell();
  m_services.clock = CreateWin32Clock();
  m_services.copies = std::make_shared<Win32SingleInstance>();
  m_services.events = std::make_shared<Win32SystemEvents>();
  m_services.codec = std::make_shared<AnsiCodec>();
  m_services.charsets = std::make_shared<Win32CharsetDecoder>(identity.codePageForCharset);
  m_services.network = CreateWinsockNetwork();
  m_services.web = CreateWinHttpWeb();
  m_services.listener = CreateWin32Listener();
  m_services.random = CreateWin32Random();
  m_services.digest = CreateWin32Digest();
}

bool Win32Platform::CreateFrameWindow(FrameWindow& window, const std::string& title) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = FrameProc;
  windowClass.hInstance = m_hInstance;
  windowClass.hIcon = LoadIconW(m_hInstance, MAKEINTRESOURCEW(m_identity.iconId));
  windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszMenuName = MAKEINTRESOURCEW(m_identity.iconId);
  windowClass.lpszClassName = kFrameClassName;
  RegisterClassExW(&windowClass);
  m_hMainWindow = CreateWindowExW(0, kFrameClassName, Widen(title).c_str(), WS_OVERLAPPEDWINDOW,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                  nullptr, nullptr, m_hInstance, &window);
  return m_hMainWindow != nullptr;
}

void Win32Platform::DestroyWindow(WindowHandle window) {
  if (ToHwnd(window) == m_hMainWindow) m_hMainWindow = nullptr;
  ::DestroyWindow(ToHwnd(window));
}

void Win32Platform::HideWindow(WindowHandle window) {
  ShowWindow(ToHwnd(window), SW_HIDE);
  UpdateWindow(ToHwnd(window));
}

bool Win32Platform::BringToFront(WindowHandle window) {
  return SetForegroundWindow(ToHwnd(window)) != FALSE;
}

intptr_t Win32Platform::DefaultWindowProc(WindowHandle window, unsigned message, uintptr_t wParam,
                                          intptr_t lParam) {
  return DefWindowProcW(ToHwnd(window), message, wParam, lParam);
}

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

void Win32Platform::KillTimer(WindowHandle window, unsigned id) { ::KillTimer(ToHwnd(window), id); }

int Win32Platform::RunModalDialog(Dialog& dialog, int templateId) {
  return static_cast<int>(DialogBoxParamW(m_hInstance, MAKEINTRESOURCEW(templateId), m_hMainWindow,
                                          DialogThunk, reinterpret_cast<LPARAM>(&dialog)));
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
