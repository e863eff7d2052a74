#pragma once

#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/ansi_codec.h"
#include "platform/win32/charset_decoder_win32.h"
#include "platform/win32/shell_notifier_win32.h"
#include "platform/win32/win32_single_instance.h"
#include "platform/win32/win32_system_events.h"

// The platform services on the real Win32 API.
class Win32Platform : public Platform {
 public:
  explicit Win32Platform(HINSTANCE instance);
  ~Win32Platform() override;

  bool CreateFrameWindow(FrameWindow& window, const std::string& title) override;
  void DestroyWindow(WindowHandle window) override;
  void ShowWindow(WindowHandle window, int command) override;
  void UpdateWindow(WindowHandle window) override;
  bool SetForegroundWindow(WindowHandle window) override;
  intptr_t DefaultWindowProc(WindowHandle window, unsigned message, uintptr_t wParam,
                             intptr_t lParam) override;
  unsigned TaskbarCreatedMessage() override;
  void SetMainWindow(WindowHandle window) override;
  void PostQuitMessage(int exitCode) override;
  bool PostToWindow(WindowHandle window, unsigned message) override;
  int RunMessageLoop() override;
  bool SetTimer(WindowHandle window, unsigned id, unsigned periodMs) override;
  ScreenPoint GetCursorPos() override;
  SystemEvents& Events() override { return m_events; }

  IconHandle LoadIconResource(int resourceId) override;
  IconHandle LoadTrayIcon(int resourceId) override;
  std::string LoadStringResource(unsigned id) override;

  int ShowMessageBox(WindowHandle owner, const std::string& text, const char* caption,
                     unsigned flags) override;
  bool NotifyIcon(TrayAction action, const NotifyIconData& data) override;
  std::string PlaySoundFile(const std::string& fileName, unsigned flags) override;
  ShellNotifier& Shell() override { return m_shell; }
  const CharsetDecoder& Charsets() override { return m_charsets; }

  MenuHandle CreatePopupMenu() override;
  bool AppendMenuItem(MenuHandle menu, unsigned command, const std::string& text,
                      bool checked) override;
  void CheckMenuItem(MenuHandle menu, unsigned command, bool checked) override;
  void EnableMenuItem(MenuHandle menu, unsigned command, bool enabled) override;
  void TrackPopupMenu(MenuHandle menu, ScreenPoint at, WindowHandle owner) override;
  void DestroyMenu(MenuHandle menu) override;

  int RunModalDialog(Dialog& dialog, int templateId) override;
  void EndDialog(WindowHandle dialog, int result) override;
  std::string GetItemText(WindowHandle dialog, int controlId) override;
  void SetItemText(WindowHandle dialog, int controlId, const std::string& text) override;
  bool IsItemChecked(WindowHandle dialog, int controlId) override;
  void CheckItem(WindowHandle dialog, int controlId, bool checked) override;
  bool IsIconic(WindowHandle window) override;
  void PaintIconCentred(WindowHandle window, IconHandle icon) override;
  bool ChooseFileToOpen(WindowHandle owner, const std::string& filter,
                        const std::string& defaultExtension, std::string& path) override;

  bool CanWriteRunKey(RegistryRoot root) override;
  bool RunValueExists(RegistryRoot root, const std::string& name) override;
  bool WriteRunValue(RegistryRoot root, const std::string& name, const std::string& data) override;
  bool DeleteRunValue(RegistryRoot root, const std::string& name) override;

  std::string ModuleFileName() override;
  std::vector<std::string> CommandLineArguments() override;
  SingleInstance& Copies() override { return m_copies; }
  unsigned long ProcessId() override;
  bool CanOpenForReading(const std::string& path) override;
  bool ReadFileStart(const std::string& path, size_t maxBytes, std::string& content) override;
  bool WriteNewFile(const std::string& path, const std::string& content) override;
  bool RewriteFile(const std::string& path, const std::string& content) override;
  bool MoveFileReplacing(const std::string& from, const std::string& to) override;
  void RemoveFile(const std::string& path) override;
  uint64_t FileSize(const std::string& path) override;
  bool AppendToFile(const std::string& path, const std::string& text) override;
  std::string LocalTimeText() override;

  const TextCodec& Codec() override { return m_codec; }
  bool RememberPassword(const std::string& account, const std::string& password) override;
  bool FindPassword(const std::string& account, std::string& password) override;
  void ForgetPassword(const std::string& account) override;

  bool StartSockets() override;
  std::unique_ptr<Transport> CreateTransport() override;

 private:
  // Stops the sound playing, if any, and frees its wave.
  void StopSound();

  HINSTANCE m_hInstance;
  HWND m_hMainWindow = nullptr;
  UINT m_nTaskbarCreated = 0;
  AnsiCodec m_codec;
  // The wave file playing, if any.
  std::string m_strSound;
  Win32SingleInstance m_copies;
  Win32SystemEvents m_events;
  Win32ShellNotifier m_shell;
  Win32CharsetDecoder m_charsets;
};
