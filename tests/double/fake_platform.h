#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/double/fake_copies.h"
#include "tests/double/fake_system_events.h"

class FakePlatform;

// The ANSI code page of a Western Windows, as far as the tests need it:
// cp1252's Latin-1 characters.
class Latin1Codec : public TextCodec {
 public:
  bool ToAnsi(const std::string& utf8, std::string& ansi) const override;
  std::string FromAnsi(const std::string& ansi) const override;
};

// One dialog while it is open, driven by a test as a user would drive it.
class FakeDialog {
 public:
  FakeDialog(FakePlatform& platform, Dialog& dialog, int templateId, WindowHandle handle);

  void Type(int controlId, const std::string& text) { texts[controlId] = text; }
  void Tick(int controlId, bool checked) { checks[controlId] = checked; }
  void Click(int controlId);
  void Close();
  void SysCommand(unsigned command);
  intptr_t Send(unsigned message, uintptr_t wParam = 0, intptr_t lParam = 0);
  std::string Text(int controlId) const;
  bool Checked(int controlId) const;

  FakePlatform& platform;
  Dialog& dialog;
  int templateId;
  WindowHandle handle;
  std::map<int, std::string> texts;
  std::map<int, bool> checks;
  bool visible = true;
  bool iconic = false;
  bool ended = false;
  int result = -1;
};

struct MessageBoxCall {
  WindowHandle owner;
  std::string text;
  std::string caption;
  unsigned flags;
};

struct BalloonCall {
  std::string title;
  std::string text;
  int picture;
  bool silent;
  BalloonKind kind;
};

// Records the balloons shown.
class FakeShell : public ShellNotifier {
 public:
  bool ShowBalloon(WindowHandle, unsigned, const std::string& title, const std::string& text,
                   int pictureId, bool silent, BalloonKind kind) override {
    balloons.push_back({title, text, pictureId, silent, kind});
    return true;
  }
  std::string RegisteredMailCommand() override { return registeredMail; }
  bool Open(const std::string& target) override {
    opened.push_back("open " + target);
    return true;
  }
  bool Run(const std::string& commandLine) override {
    opened.push_back("run " + commandLine);
    return true;
  }
  std::vector<BalloonCall> balloons;
  std::string registeredMail;
  // What was opened ("open target") or run ("run command line").
  std::vector<std::string> opened;
};

// Knows no charset beyond the program's own.
class NoSystemCharsets : public CharsetDecoder {
 public:
  bool DecodeToUtf8(const std::string&, const std::string&, std::string&) const override {
    return false;
  }
};

struct MenuItem {
  unsigned command;
  std::string text;
  bool checked;
  bool enabled = true;
};

// The platform as the unit tests see it: every service does what the real
// one would in the simplest way, records what was asked of it, and can be
// told to fail.
class FakePlatform : public Platform {
 public:
  // Sends a message to the frame window, as the system would.
  intptr_t SendToFrame(unsigned message, uintptr_t wParam = 0, intptr_t lParam = 0);
  // Delivers timer ticks to the frame.
  void Tick(int count = 1);
  // Waits until something has been posted, then delivers to the frame all
  // that has been posted so far, as the message loop would.
  void DeliverPosted();
  // Delivers posted messages for as long as the condition holds.
  void DeliverPostedWhile(const std::function<bool()>& condition);
  // How many posted messages wait to be delivered.
  size_t PostedCount();
  // The frame's tray menu as it stands (the last menu created).
  std::vector<MenuItem> MenuItems() const;
  // Events whose text starts with prefix, in order.
  std::vector<std::string> EventsStartingWith(const std::string& prefix) const;
  static int IconId(IconHandle icon);

  // What the program asked for, in order, as short lines such as
  // "tray modify 134 No messages waiting", "sound C:\\a.wav", "foreground",
  // "box DOV3 Ozez Ezevada|You have 3 messages waiting".
  std::vector<std::string> events;
  std::vector<MessageBoxCall> boxes;
  std::vector<NotifyIconData> trayRecords;
  std::vector<int> dialogsRun;
  std::vector<std::string> fileDialogFilters;
  std::vector<ScreenPoint> menusTracked;
  FakeShell shell;
  NoSystemCharsets charsets;

  // What the platform does.
  bool socketsStart = true;
  bool frameCreationFails = false;
  bool timerStarts = true;
  int trayAddFailures = 0;
  bool trayAvailable = true;
  // A Run key: whether this user may change it, and the values it holds.
  struct RunKey {
    bool writable = true;
    std::map<std::string, std::string> values;
  };
  RunKey machineRun;
  RunKey userRun;
  // Changes to a Run key the user may change fail all the same.
  bool registryWritesFail = false;
  std::map<std::string, std::string> files;
  // Writing these files runs out of disk space half-way.
  std::set<std::string> fullDiskPaths;
  // No file can be created in the settings folder.
  bool folderReadOnly = false;
  // Nor can the files in it be written, unless this says they can.
  bool filesWritable = false;
  bool replaceFails = false;
  std::string modulePath = "C:\\Tools\\tarvik.exe";
  // The user's password store, by account; writes to it are refused when
  // credentialWritesFail.
  std::map<std::string, std::string> credentials;
  bool credentialWritesFail = false;
  std::vector<std::string> arguments;
  ScreenPoint cursor{640, 480};
  std::function<std::unique_ptr<Transport>()> transports;
  // Runs while a message box is open, as the nested message loop would.
  std::function<void(const MessageBoxCall&)> whileMessageBox;
  // Run in turn, one for each dialog opened; a dialog left open is cancelled.
  std::deque<std::function<void(FakeDialog&)>> dialogScripts;
  // Answers of the file-open dialog in turn; nothing means cancelled.
  std::deque<std::optional<std::string>> fileChoices;
  // Runs in place of the message loop.
  std::function<void()> messageLoop;

  FakeCopies copies{*this};
  FakeSystemEvents systemEvents;

  // State.
  FrameWindow* frame = nullptr;
  WindowHandle mainWindow = nullptr;
  bool frameVisible = false;
  bool quitPosted = false;
  bool trayIconShown = false;
  std::vector<std::unique_ptr<FakeDialog>> openDialogs;
  Latin1Codec codec;

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
  SystemEvents& Events() override { return systemEvents; }
  IconHandle LoadIconResource(int resourceId) override;
  IconHandle LoadTrayIcon(int resourceId) override;
  std::string LoadStringResource(unsigned id) override;
  int ShowMessageBox(WindowHandle owner, const std::string& text, const char* caption,
                     unsigned flags) override;
  bool NotifyIcon(TrayAction action, const NotifyIconData& data) override;
  std::string PlaySoundFile(const std::string& fileName, unsigned flags) override;
  ShellNotifier& Shell() override { return shell; }
  const CharsetDecoder& Charsets() override { return charsets; }
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
  SingleInstance& Copies() override { return copies; }
  unsigned long ProcessId() override;
  bool CanOpenForReading(const std::string& path) override;
  bool ReadFileStart(const std::string& path, size_t maxBytes, std::string& content) override;
  bool WriteNewFile(const std::string& path, const std::string& content) override;
  bool RewriteFile(const std::string& path, const std::string& content) override;
  bool MoveFileReplacing(const std::string& from, const std::string& to) override;
  void RemoveFile(const std::string& path) override;
  const TextCodec& Codec() override { return codec; }
  bool RememberPassword(const std::string& account, const std::string& password) override;
  bool FindPassword(const std::string& account, std::string& password) override;
  void ForgetPassword(const std::string& account) override;
  uint64_t FileSize(const std::string& path) override;
  bool AppendToFile(const std::string& path, const std::string& text) override;
  std::string LocalTimeText() override;
  bool StartSockets() override;
  std::unique_ptr<Transport> CreateTransport() override;

 private:
  FakeDialog* DialogFor(WindowHandle handle) const;
  RunKey& Run(RegistryRoot root) {
    return root == RegistryRoot::kLocalMachine ? machineRun : userRun;
  }

  struct Menu {
    std::vector<MenuItem> items;
    bool destroyed = false;
  };
  std::vector<Menu> m_menus;

  // Filled from any thread.
  std::mutex m_postedMutex;
  std::condition_variable m_postedChanged;
  std::deque<unsigned> m_posted;
};
