#include "tests/double/fake_platform.h"

#include "platform/ui/dialog.h"
#include "platform/ui/frame_window.h"
#include "platform/utf8_text.h"
#include "platform/wave_check.h"
#include "platform/win_constants.h"
#include "res/resource.h"

namespace {

WindowHandle const kFrameHandle = reinterpret_cast<WindowHandle>(0x1000);
constexpr unsigned kTaskbarCreated = 0xC0DE;
// As much of a tooltip as the shell shows.
constexpr size_t kShownTipUnits = 127;

WindowHandle HandleFor(uintptr_t base, size_t index) {
  return reinterpret_cast<WindowHandle>(base + index);
}

}  // namespace

FakeDialog::FakeDialog(FakePlatform& owner, Dialog& shown, int id, WindowHandle window)
    : platform(owner), dialog(shown), templateId(id), handle(window) {}

intptr_t FakeDialog::Send(unsigned message, uintptr_t wParam, intptr_t lParam) {
  return dialog.DialogProc(message, wParam, lParam);
}

void FakeDialog::Click(int controlId) { Send(win::kWmCommand, static_cast<uintptr_t>(controlId)); }

void FakeDialog::Close() { Send(win::kWmClose); }

void FakeDialog::SysCommand(unsigned command) { Send(win::kWmSysCommand, command); }

std::string FakeDialog::Text(int controlId) const {
  const auto found = texts.find(controlId);
  return found == texts.end() ? std::string() : found->second;
}

bool FakeDialog::Checked(int controlId) const {
  const auto found = checks.find(controlId);
  return found != checks.end() && found->second;
}

intptr_t FakePlatform::SendToFrame(unsigned message, uintptr_t wParam, intptr_t lParam) {
  return frame ? frame->WindowProc(message, wParam, lParam) : 0;
}

void FakePlatform::Tick(int count) {
  for (int i = 0; i < count; ++i) SendToFrame(win::kWmTimer, 1);
}

void FakePlatform::DeliverPosted() {
  std::deque<unsigned> delivered;
  {
    std::unique_lock<std::mutex> lock(m_postedMutex);
    m_postedChanged.wait(lock, [this] { return !m_posted.empty(); });
    delivered.swap(m_posted);
  }
  for (unsigned message : delivered) SendToFrame(message);
}

void FakePlatform::DeliverPostedWhile(const std::function<bool()>& condition) {
  while (condition()) DeliverPosted();
}

size_t FakePlatform::PostedCount() {
  const std::lock_guard<std::mutex> lock(m_postedMutex);
  return m_posted.size();
}

std::vector<MenuItem> FakePlatform::MenuItems() const {
  return m_menus.empty() || m_menus.back().destroyed ? std::vector<MenuItem>()
                                                     : m_menus.back().items;
}

std::vector<std::string> FakePlatform::EventsStartingWith(const std::string& prefix) const {
  std::vector<std::string> matching;
  for (const std::string& event : events)
    if (event.compare(0, prefix.size(), prefix) == 0) matching.push_back(event);
  return matching;
}

int FakePlatform::IconId(IconHandle icon) {
  return static_cast<int>(reinterpret_cast<intptr_t>(icon));
}

bool FakePlatform::CreateFrameWindow(FrameWindow& window, const std::string& title) {
  events.push_back("create frame " + title);
  if (frameCreationFails) return false;
  frame = &window;
  window.Attach(kFrameHandle);
  if (window.WindowProc(win::kWmCreate, 0, 0) == -1) {
    window.Attach(nullptr);
    frame = nullptr;
    return false;
  }
  return true;
}

void FakePlatform::DestroyWindow(WindowHandle window) {
  if (window != kFrameHandle || !frame) return;
  events.push_back("destroy frame");
  frame->WindowProc(win::kWmDestroy, 0, 0);
  frame->Attach(nullptr);
  frame = nullptr;
}

void FakePlatform::ShowWindow(WindowHandle window, int command) {
  if (window == kFrameHandle) {
    events.push_back("show frame " + std::to_string(command));
    frameVisible = command != win::kSwHide;
  } else if (FakeDialog* dialog = DialogFor(window)) {
    dialog->visible = command != win::kSwHide;
  }
}

void FakePlatform::UpdateWindow(WindowHandle) {}

bool FakePlatform::SetForegroundWindow(WindowHandle) {
  events.push_back("foreground");
  return true;
}

intptr_t FakePlatform::DefaultWindowProc(WindowHandle, unsigned, uintptr_t, intptr_t) { return 0; }

unsigned FakePlatform::TaskbarCreatedMessage() { return kTaskbarCreated; }

void FakePlatform::SetMainWindow(WindowHandle window) { mainWindow = window; }

void FakePlatform::PostQuitMessage(int) {
  events.push_back("quit");
  quitPosted = true;
}

bool FakePlatform::PostToWindow(WindowHandle window, unsigned message) {
  if (window != kFrameHandle) return false;
  const std::lock_guard<std::mutex> lock(m_postedMutex);
  m_posted.push_back(message);
  m_postedChanged.notify_all();
  return true;
}

int FakePlatform::RunMessageLoop() {
  if (messageLoop) messageLoop();
  return 0;
}

bool FakePlatform::SetTimer(WindowHandle, unsigned id, unsigned periodMs) {
  events.push_back("timer " + std::to_string(id) + " " + std::to_string(periodMs));
  return timerStarts;
}

ScreenPoint FakePlatform::GetCursorPos() { return cursor; }

IconHandle FakePlatform::LoadIconResource(int resourceId) {
  return reinterpret_cast<IconHandle>(static_cast<intptr_t>(resourceId));
}

IconHandle FakePlatform::LoadTrayIcon(int resourceId) { return LoadIconResource(resourceId); }

std::string FakePlatform::LoadStringResource(unsigned id) {
  switch (id) {
    case IDP_SOCKETS_INIT_FAILED:
      return "Windows sockets initialization failed.";
    case IDR_MAINFRAME:
    case AFX_IDS_APP_TITLE:
      return "Tarvik";
    default:
      return std::string();
  }
}

int FakePlatform::ShowMessageBox(WindowHandle owner, const std::string& text, const char* caption,
                                 unsigned flags) {
  const MessageBoxCall call{owner, text, caption ? caption : LoadStringResource(AFX_IDS_APP_TITLE),
                            flags};
  boxes.push_back(call);
  events.push_back("box " + call.caption + "|" + text);
  if (whileMessageBox) whileMessageBox(call);
  return win::kIdOk;
}

bool FakePlatform::NotifyIcon(TrayAction action, const NotifyIconData& data) {
  const char* name = action == TrayAction::kAdd      ? "add"
                     : action == TrayAction::kModify ? "modify"
                                                     : "delete";
  events.push_back(std::string("tray ") + name + " " + std::to_string(IconId(data.hIcon)) + " " +
                   CutToUtf16Units(data.tip, kShownTipUnits));
  trayRecords.push_back(data);
  switch (action) {
    case TrayAction::kAdd:
      if (trayIconShown || !trayAvailable) return false;
      if (trayAddFailures > 0) {
        --trayAddFailures;
        return false;
      }
      trayIconShown = true;
      return true;
    case TrayAction::kModify:
      return trayIconShown;
    case TrayAction::kDelete: {
      const bool wasShown = trayIconShown;
      trayIconShown = false;
      return wasShown;
    }
  }
  return false;
}

// A sound file the test put in place must pass the check, as on Windows.
std::string FakePlatform::PlaySoundFile(const std::string& fileName, unsigned flags) {
  events.push_back("sound " + fileName + " " + std::to_string(flags));
  const auto found = files.find(fileName);
  return found == files.end() ? std::string() : WaveFaultText(CheckWave(found->second));
}

MenuHandle FakePlatform::CreatePopupMenu() {
  m_menus.emplace_back();
  return HandleFor(0x3000, m_menus.size());
}

bool FakePlatform::AppendMenuItem(MenuHandle menu, unsigned command, const std::string& text,
                                  bool checked) {
  m_menus.at(reinterpret_cast<uintptr_t>(menu) - 0x3001).items.push_back({command, text, checked});
  return true;
}

void FakePlatform::CheckMenuItem(MenuHandle menu, unsigned command, bool checked) {
  for (MenuItem& item : m_menus.at(reinterpret_cast<uintptr_t>(menu) - 0x3001).items)
    if (item.command == command) item.checked = checked;
}

void FakePlatform::EnableMenuItem(MenuHandle menu, unsigned command, bool enabled) {
  for (MenuItem& item : m_menus.at(reinterpret_cast<uintptr_t>(menu) - 0x3001).items)
    if (item.command == command) item.enabled = enabled;
}

void FakePlatform::TrackPopupMenu(MenuHandle, ScreenPoint at, WindowHandle) {
  events.push_back("menu " + std::to_string(at.x) + "," + std::to_string(at.y));
  menusTracked.push_back(at);
}

void FakePlatform::DestroyMenu(MenuHandle menu) {
  m_menus.at(reinterpret_cast<uintptr_t>(menu) - 0x3001).destroyed = true;
  events.push_back("menu destroyed");
}

int FakePlatform::RunModalDialog(Dialog& dialog, int templateId) {
  if (dialog.FitsLabelsToText()) events.push_back("fit labels " + std::to_string(templateId));
  dialogsRun.push_back(templateId);
  events.push_back("dialog " + std::to_string(templateId));
  const WindowHandle handle = HandleFor(0x2000, openDialogs.size() + 1);
  openDialogs.push_back(std::make_unique<FakeDialog>(*this, dialog, templateId, handle));
  FakeDialog& open = *openDialogs.back();
  dialog.Attach(handle);
  open.Send(win::kWmInitDialog);
  if (!dialogScripts.empty()) {
    const std::function<void(FakeDialog&)> script = dialogScripts.front();
    dialogScripts.pop_front();
    script(open);
  }
  if (!open.ended) open.Click(win::kIdCancel);
  const int result = open.result;
  openDialogs.pop_back();
  return result;
}

void FakePlatform::EndDialog(WindowHandle dialog, int result) {
  FakeDialog* open = DialogFor(dialog);
  if (!open) return;
  open->ended = true;
  open->result = result;
}

std::string FakePlatform::GetItemText(WindowHandle dialog, int controlId) {
  const FakeDialog* open = DialogFor(dialog);
  return open ? open->Text(controlId) : std::string();
}

void FakePlatform::SetItemText(WindowHandle dialog, int controlId, const std::string& text) {
  if (FakeDialog* open = DialogFor(dialog)) open->texts[controlId] = text;
}

bool FakePlatform::IsItemChecked(WindowHandle dialog, int controlId) {
  const FakeDialog* open = DialogFor(dialog);
  return open && open->Checked(controlId);
}

void FakePlatform::CheckItem(WindowHandle dialog, int controlId, bool checked) {
  if (FakeDialog* open = DialogFor(dialog)) open->checks[controlId] = checked;
}

bool FakePlatform::IsIconic(WindowHandle window) {
  const FakeDialog* open = DialogFor(window);
  return open && open->iconic;
}

void FakePlatform::PaintIconCentred(WindowHandle, IconHandle icon) {
  events.push_back("paint icon " + std::to_string(IconId(icon)));
}

bool FakePlatform::ChooseFileToOpen(WindowHandle, const std::string& filter,
                                    const std::string& defaultExtension, std::string& path) {
  fileDialogFilters.push_back(filter + " " + defaultExtension);
  if (fileChoices.empty()) return false;
  const std::optional<std::string> choice = fileChoices.front();
  fileChoices.pop_front();
  if (!choice) return false;
  path = *choice;
  return true;
}

namespace {

std::string RootName(RegistryRoot root) {
  return root == RegistryRoot::kLocalMachine ? "HKLM" : "HKCU";
}

}  // namespace

bool FakePlatform::CanWriteRunKey(RegistryRoot root) { return Run(root).writable; }

bool FakePlatform::RunValueExists(RegistryRoot root, const std::string& name) {
  return Run(root).values.count(name) > 0;
}

bool FakePlatform::WriteRunValue(RegistryRoot root, const std::string& name,
                                 const std::string& data) {
  events.push_back("registry set " + RootName(root) + " " + name + "=" + data);
  if (!Run(root).writable || registryWritesFail) return false;
  Run(root).values[name] = data;
  return true;
}

bool FakePlatform::DeleteRunValue(RegistryRoot root, const std::string& name) {
  events.push_back("registry delete " + RootName(root) + " " + name);
  if (!Run(root).writable || registryWritesFail) return !RunValueExists(root, name);
  Run(root).values.erase(name);
  return true;
}

std::string FakePlatform::ModuleFileName() { return modulePath; }

std::vector<std::string> FakePlatform::CommandLineArguments() { return arguments; }

unsigned long FakePlatform::ProcessId() { return 4242; }

bool FakePlatform::CanOpenForReading(const std::string& path) { return files.count(path) > 0; }

bool FakePlatform::ReadFileStart(const std::string& path, size_t maxBytes,
                                 std::string& content) {
  const auto found = files.find(path);
  if (found == files.end()) return false;
  content = found->second.substr(0, maxBytes);
  return true;
}

namespace {

// The seen-mail file is written after every count; tests look at its
// content, and the events stay those of the settings file.
bool IsSeenMailFile(const std::string& path) {
  return path.find(".seen") != std::string::npos;
}

}  // namespace

bool FakePlatform::WriteNewFile(const std::string& path, const std::string& content) {
  if (!IsSeenMailFile(path)) events.push_back("write " + path);
  if (folderReadOnly) return false;
  if (fullDiskPaths.count(path)) {
    files[path] = content.substr(0, content.size() / 2);
    return false;
  }
  files[path] = content;
  return true;
}

bool FakePlatform::RewriteFile(const std::string& path, const std::string& content) {
  const std::lock_guard<std::mutex> lock(m_postedMutex);
  events.push_back("rewrite " + path);
  if ((folderReadOnly && !filesWritable) || !files.count(path)) return false;
  files[path] = content;
  return true;
}

bool FakePlatform::MoveFileReplacing(const std::string& from, const std::string& to) {
  if (!IsSeenMailFile(to)) events.push_back("replace " + from + " -> " + to);
  const auto found = files.find(from);
  if (replaceFails || found == files.end()) return false;
  files[to] = found->second;
  files.erase(found);
  return true;
}

void FakePlatform::RemoveFile(const std::string& path) {
  events.push_back("remove " + path);
  files.erase(path);
}

bool FakePlatform::RememberPassword(const std::string& account, const std::string& password) {
  events.push_back("credential write " + account);
  if (credentialWritesFail) return false;
  credentials[account] = password;
  return true;
}

bool FakePlatform::FindPassword(const std::string& account, std::string& password) {
  const auto found = credentials.find(account);
  if (found == credentials.end()) return false;
  password = found->second;
  return true;
}

void FakePlatform::ForgetPassword(const std::string& account) {
  events.push_back("credential delete " + account);
  credentials.erase(account);
}

uint64_t FakePlatform::FileSize(const std::string& path) {
  const std::lock_guard<std::mutex> lock(m_postedMutex);
  const auto found = files.find(path);
  return found == files.end() ? 0 : found->second.size();
}

// Not an event: the check's thread appends while the test reads the events.
bool FakePlatform::AppendToFile(const std::string& path, const std::string& text) {
  const std::lock_guard<std::mutex> lock(m_postedMutex);
  files[path] += text;
  return true;
}

std::string FakePlatform::LocalTimeText() { return "2026-12-07 15:04:49"; }

void FakeCopies::CancelOpenDialogs() {
  m_platform.events.push_back("cancel open dialogs");
  for (const std::unique_ptr<FakeDialog>& open : m_platform.openDialogs)
    if (!open->ended) open->Click(win::kIdCancel);
}

bool FakePlatform::StartSockets() { return socketsStart; }

std::unique_ptr<Transport> FakePlatform::CreateTransport() {
  return transports ? transports() : nullptr;
}

FakeDialog* FakePlatform::DialogFor(WindowHandle handle) const {
  for (const std::unique_ptr<FakeDialog>& open : openDialogs)
    if (open->handle == handle) return open.get();
  return nullptr;
}

// Each byte is the character of the same number, as in cp1252 outside 0x80 to 0x9F.
std::string Latin1Codec::FromAnsi(const std::string& ansi) const {
  std::string utf8;
  for (const char c : ansi) {
    const auto code = static_cast<unsigned char>(c);
    if (code >= 0x80) utf8 += static_cast<char>(0xC0 | (code >> 6));
    utf8 += static_cast<char>(code >= 0x80 ? 0x80 | (code & 0x3F) : code);
  }
  return utf8;
}

bool Latin1Codec::ToAnsi(const std::string& utf8, std::string& ansi) const {
  ansi.clear();
  for (size_t at = 0; at < utf8.size(); ++at) {
    const auto lead = static_cast<unsigned char>(utf8[at]);
    if (lead < 0x80) {
      ansi += utf8[at];
    } else if ((lead == 0xC2 || lead == 0xC3) && at + 1 < utf8.size()) {
      ansi += static_cast<char>(((lead & 0x03) << 6) | (utf8[++at] & 0x3F));
    } else {
      return false;
    }
  }
  return true;
}
