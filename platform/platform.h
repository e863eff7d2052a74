#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/charset_decoder.h"
#include "platform/shell_notifier.h"
#include "platform/single_instance.h"
#include "platform/system_events.h"
#include "platform/text_codec.h"
#include "platform/transport.h"

class Dialog;
class FrameWindow;

using WindowHandle = void*;
using IconHandle = void*;
using MenuHandle = void*;

struct ScreenPoint {
  int x = 0;
  int y = 0;
};

enum class TrayAction { kAdd, kModify, kDelete };

// The tray icon as the program describes it. The tooltip is UTF-8 of any
// length: the platform cuts it to what the shell shows, never inside a
// character.
struct NotifyIconData {
  WindowHandle hWnd = nullptr;
  uint32_t uID = 0;
  uint32_t uFlags = 0;
  uint32_t uCallbackMessage = 0;
  IconHandle hIcon = nullptr;
  std::string tip;
};

// Whose Run key: the machine's, for every user, or the user's own.
enum class RegistryRoot { kLocalMachine, kCurrentUser };

// Everything the program asks of Windows. The Win32 build provides the real
// services; the unit tests provide a double that records what was asked.
class Platform {
 public:
  virtual ~Platform() = default;

  // Windows and the message loop.
  // Creates the hidden frame window; its creation message is dispatched
  // before this returns. False when creation failed or was refused.
  virtual bool CreateFrameWindow(FrameWindow& window, const std::string& title) = 0;
  virtual void DestroyWindow(WindowHandle window) = 0;
  virtual void ShowWindow(WindowHandle window, int command) = 0;
  virtual void UpdateWindow(WindowHandle window) = 0;
  virtual bool SetForegroundWindow(WindowHandle window) = 0;
  // The default processing of a message the program does not handle itself.
  virtual intptr_t DefaultWindowProc(WindowHandle window, unsigned message, uintptr_t wParam,
                                     intptr_t lParam) = 0;
  // The message the shell broadcasts when the taskbar was (re)created.
  virtual unsigned TaskbarCreatedMessage() = 0;
  virtual void SetMainWindow(WindowHandle window) = 0;
  virtual void PostQuitMessage(int exitCode) = 0;
  // Queues the message for the window's thread and returns at once. The one
  // service that may be called from any thread.
  virtual bool PostToWindow(WindowHandle window, unsigned message) = 0;
  // Runs the message loop until the quit message; returns its exit code.
  virtual int RunMessageLoop() = 0;
  virtual bool SetTimer(WindowHandle window, unsigned id, unsigned periodMs) = 0;
  virtual ScreenPoint GetCursorPos() = 0;

  // Resumes from sleep and changes of the network.
  virtual SystemEvents& Events() = 0;

  // Resources.
  virtual IconHandle LoadIconResource(int resourceId) = 0;
  // The icon at the size the notification area shows, for this screen's DPI.
  virtual IconHandle LoadTrayIcon(int resourceId) = 0;
  virtual std::string LoadStringResource(unsigned id) = 0;

  // User interface.
  // A modal box; no caption means the application title.
  virtual int ShowMessageBox(WindowHandle owner, const std::string& text, const char* caption,
                             unsigned flags) = 0;
  virtual bool NotifyIcon(TrayAction action, const NotifyIconData& data) = 0;
  // Plays the wave file, from memory; empty when it plays, else why not.
  virtual std::string PlaySoundFile(const std::string& fileName, unsigned flags) = 0;
  // Balloon notifications and what the shell starts.
  virtual ShellNotifier& Shell() = 0;
  // The system's converters for the charsets of mail headers; may be used
  // from any thread.
  virtual const CharsetDecoder& Charsets() = 0;

  // Popup menus.
  virtual MenuHandle CreatePopupMenu() = 0;
  virtual bool AppendMenuItem(MenuHandle menu, unsigned command, const std::string& text,
                              bool checked) = 0;
  virtual void CheckMenuItem(MenuHandle menu, unsigned command, bool checked) = 0;
  virtual void EnableMenuItem(MenuHandle menu, unsigned command, bool enabled) = 0;
  // Shows the menu at the point; the chosen item arrives later as a command.
  virtual void TrackPopupMenu(MenuHandle menu, ScreenPoint at, WindowHandle owner) = 0;
  virtual void DestroyMenu(MenuHandle menu) = 0;

  // Modal dialogs and their controls.
  // Runs the dialog from its template, owned by the main window; returns the
  // result given to EndDialog, or -1 when the dialog could not be created.
  virtual int RunModalDialog(Dialog& dialog, int templateId) = 0;
  virtual void EndDialog(WindowHandle dialog, int result) = 0;
  virtual std::string GetItemText(WindowHandle dialog, int controlId) = 0;
  virtual void SetItemText(WindowHandle dialog, int controlId, const std::string& text) = 0;
  virtual bool IsItemChecked(WindowHandle dialog, int controlId) = 0;
  virtual void CheckItem(WindowHandle dialog, int controlId, bool checked) = 0;
  virtual bool IsIconic(WindowHandle window) = 0;
  // Paints the icon centred in the client area of a minimised window.
  virtual void PaintIconCentred(WindowHandle window, IconHandle icon) = 0;
  // The system's file-open dialog; true with the full path when a file was chosen.
  virtual bool ChooseFileToOpen(WindowHandle owner, const std::string& filter,
                                const std::string& defaultExtension, std::string& path) = 0;

  // The registry's Run keys, whose values the system starts at log-on.
  // True when this user may change the root's Run key.
  virtual bool CanWriteRunKey(RegistryRoot root) = 0;
  // True when the root's Run key holds the value, whether or not it may be changed.
  virtual bool RunValueExists(RegistryRoot root, const std::string& name) = 0;
  // Writes the value as text into the root's Run key; false when refused.
  virtual bool WriteRunValue(RegistryRoot root, const std::string& name,
                             const std::string& data) = 0;
  // True when the value is gone afterwards, also when there was none.
  virtual bool DeleteRunValue(RegistryRoot root, const std::string& name) = 0;

  // Files and the process.
  // The running executable's full path, however long.
  virtual std::string ModuleFileName() = 0;
  virtual std::vector<std::string> CommandLineArguments() = 0;
  // The running copies of the program and what later starts ask of them.
  virtual SingleInstance& Copies() = 0;
  virtual unsigned long ProcessId() = 0;
  virtual bool CanOpenForReading(const std::string& path) = 0;
  // Reads the file, or its first maxBytes bytes when it is longer.
  virtual bool ReadFileStart(const std::string& path, size_t maxBytes, std::string& content) = 0;
  // Creates or truncates the file and writes all of content through to disk.
  virtual bool WriteNewFile(const std::string& path, const std::string& content) = 0;
  // Overwrites an existing file in place with content, without creating it;
  // for a folder where no new file may be created.
  virtual bool RewriteFile(const std::string& path, const std::string& content) = 0;
  // Puts from in the place of to in one step, replacing an existing file.
  virtual bool MoveFileReplacing(const std::string& from, const std::string& to) = 0;
  virtual void RemoveFile(const std::string& path) = 0;
  // The file's size in bytes, 0 when there is none. Like the two below, it
  // may be called from any thread.
  virtual uint64_t FileSize(const std::string& path) = 0;
  // Adds text at the end of the file, creating it when there is none.
  virtual bool AppendToFile(const std::string& path, const std::string& text) = 0;
  // The local date and time to the second, as "2026-12-07 15:04:49".
  virtual std::string LocalTimeText() = 0;

  // Text in the system's other encodings.
  virtual const TextCodec& Codec() = 0;

  // The user's own password store, which only this user can read. An account
  // is the text naming it there.
  // Keeps password for account, replacing any kept before; false when refused.
  virtual bool RememberPassword(const std::string& account, const std::string& password) = 0;
  // The password kept for account; false when there is none.
  virtual bool FindPassword(const std::string& account, std::string& password) = 0;
  // Removes what is kept for account, if anything.
  virtual void ForgetPassword(const std::string& account) = 0;

  // Sockets.
  // Starts the sockets layer for the program's whole life.
  virtual bool StartSockets() = 0;
  virtual std::unique_ptr<Transport> CreateTransport() = 0;
};
