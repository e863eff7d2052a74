#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/ui/controls.h"
#include "tests/double/fake_copies.h"
#include "tests/double/fake_random.h"
#include "tests/double/fake_services.h"
#include "tests/double/fake_system_events.h"
#include "tests/double/fake_web.h"
#include "tests/double/fake_world.h"

class FakePlatform;

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
  std::map<int, bool> disabled;
  std::map<int, bool> hidden;
  std::map<int, std::vector<std::string>> lists;
  // A list's row that is selected; a test selects one as the user would.
  std::map<int, int> selected;
  std::string caption;
  bool visible = true;
  bool iconic = false;
  bool ended = false;
  int result = -1;
};

// The platform as the unit tests see it: every service does what the real
// one would in the simplest way, records what was asked of it in the world
// it shares with them, and can be told to fail.
class FakePlatform : public Platform, public Controls, public FakeWorld {
 public:
  FakePlatform();

  // Sends a message to the frame window, as the system would.
  intptr_t SendToFrame(unsigned message, uintptr_t wParam = 0, intptr_t lParam = 0);
  // Delivers timer ticks to the frame.
  void Tick(int count = 1);
  // Waits until something has been posted, then delivers all that has been
  // posted so far to the frame or the open dialog it was posted to, as the
  // message loop would.
  void DeliverPosted();
  // Delivers posted messages for as long as the condition holds.
  void DeliverPostedWhile(const std::function<bool()>& condition);
  // Runs the message loop in real time, posted messages and (unless
  // timersRun is false) the timers set at their periods, until done holds
  // (true) or the limit has passed.
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit,
                bool timersRun = true);
  // How many posted messages wait to be delivered.
  size_t PostedCount();
  // The system's converters, for a test that needs its own.
  void UseCharsets(std::shared_ptr<const CharsetDecoder> charsets) { m_services.charsets = charsets; }
  // The services the program gets, for tests of the modules that use one.
  Files& FileSystem() { return *m_services.files; }
  const TextCodec& Codec() { return *m_services.codec; }
  Credentials& Store() { return *m_services.credentials; }
  // The frame's tray menu as a right click shows it now.
  std::vector<MenuItem> MenuItems();

  std::vector<int> dialogsRun;
  std::vector<std::string> fileDialogFilters;
  bool frameCreationFails = false;
  bool timerStarts = true;
  // Fails the post of the check's outcome this many times.
  int postFailures = 0;
  std::string modulePath = "C:\\Tools\\tarvik.exe";
  std::vector<std::string> arguments;
  // Run in turn, one for each dialog opened; a dialog left open is cancelled.
  std::deque<std::function<void(FakeDialog&)>> dialogScripts;
  // Answers of the file-open dialog in turn; nothing means cancelled.
  std::deque<std::optional<std::string>> fileChoices;
  // Runs in place of the message loop.
  std::function<void()> messageLoop;

  std::shared_ptr<FakeCopies> copies;
  std::shared_ptr<FakeSystemEvents> systemEvents;
  // For signing in: a scripted web and random bytes, the real loopback
  // listener and digest.
  std::shared_ptr<FakeWeb> web;
  std::shared_ptr<FakeRandom> random;

  // State.
  FrameWindow* frame = nullptr;
  // The frame's timers that run: period and when each is next due.
  std::map<unsigned, std::pair<unsigned, std::chrono::steady_clock::time_point>> timers;
  bool frameVisible = false;
  bool quitPosted = false;
  std::vector<std::unique_ptr<FakeDialog>> openDialogs;

  bool CreateFrameWindow(FrameWindow& window, const std::string& title) override;
  void DestroyWindow(WindowHandle window) override;
  void HideWindow(WindowHandle window) override;
  bool BringToFront(WindowHandle window) override;
  intptr_t DefaultWindowProc(WindowHandle window, unsigned message, uintptr_t wParam,
                             intptr_t lParam) override;
  bool PostToWindow(WindowHandle window, unsigned message) override;
  void PostQuitMessage(int exitCode) override;
  int RunMessageLoop() override;
  bool SetTimer(WindowHandle window, unsigned id, unsigned periodMs) override;
  void KillTimer(WindowHandle window, unsigned id) override;
  int RunModalDialog(Dialog& dialog, int templateId) override;
  Controls& DialogControls() override { return *this; }
  const Services& GetServices() override { return m_services; }
  std::string ModuleFileName() override { return modulePath; }
  std::vector<std::string> CommandLineArguments() override { return arguments; }

  std::string Text(WindowHandle dialog, int controlId) override;
  void SetText(WindowHandle dialog, int controlId, const std::string& text) override;
  bool IsChecked(WindowHandle dialog, int controlId) override;
  void Enable(WindowHandle dialog, int controlId, bool enabled) override;
  void Show(WindowHandle dialog, int controlId, bool shown) override;
  void SetCaption(WindowHandle dialog, const std::string& text) override;
  void SetListRows(WindowHandle dialog, int controlId, const std::vector<std::string>& rows,
                   const std::vector<int>& tabStops, int selected) override;
  int SelectedRow(WindowHandle dialog, int controlId) override;
  void Check(WindowHandle dialog, int controlId, bool checked) override;
  void EndDialog(WindowHandle dialog, int result) override;
  bool IsMinimised(WindowHandle dialog) override;
  void PaintIconCentred(WindowHandle dialog, IconHandle icon) override;
  bool ChooseFile(WindowHandle owner, const std::string& filter,
                  const std::string& defaultExtension, std::string& path) override;
  IconHandle LoadIcon(int resourceId) override;
  std::string LoadText(unsigned resourceId) override;

 private:
  FakeDialog* DialogFor(WindowHandle handle) const;

  Services m_services;
  // Filled from any thread.
  std::mutex m_postedMutex;
  std::condition_variable m_postedChanged;
  std::deque<std::pair<WindowHandle, unsigned>> m_posted;
  // Hands each posted message to the frame or the open dialog it was posted to.
  void Deliver(const std::deque<std::pair<WindowHandle, unsigned>>& posted);
};
