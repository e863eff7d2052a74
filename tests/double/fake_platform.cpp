#include "tests/double/fake_platform.h"

#include "platform/posix/posix_services.h"
#include "platform/ui/dialog.h"
#include "platform/ui/frame_window.h"
#include "platform/win_constants.h"
#include "res/resource.h"

namespace {

WindowHandle const kFrameHandle = reinterpret_cast<WindowHandle>(0x1000);

WindowHandle HandleFor(uintptr_t base, size_t index) {
  return reinterpret_cast<WindowHandle>(base + index);
}

int IconId(IconHandle icon) { return static_cast<int>(reinterpret_cast<intptr_t>(icon)); }

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

FakePlatform::FakePlatform()
    : copies(std::make_shared<FakeCopies>(*this)),
      systemEvents(std::make_shared<FakeSystemEvents>()),
      web(std::make_shared<FakeWeb>()),
      random(std::make_shared<FakeRandom>()),
      m_services(FakeServices(*this)) {
  m_services.copies = copies;
  m_services.events = systemEvents;
  m_services.web = web;
  m_services.random = random;
  m_services.listener = CreatePosixListener();
  m_services.digest = CreatePosixDigest();
}

intptr_t FakePlatform::SendToFrame(unsigned message, uintptr_t wParam, intptr_t lParam) {
  return frame ? frame->WindowProc(message, wParam, lParam) : 0;
}

void FakePlatform::Tick(int count) {
  for (int i = 0; i < count; ++i) SendToFrame(win::kWmTimer, 1);
}

void FakePlatform::DeliverPosted() {
  std::deque<std::pair<WindowHandle, unsigned>> delivered;
  {
    std::unique_lock<std::mutex> lock(m_postedMutex);
    m_postedChanged.wait(lock, [this] { return !m_posted.empty(); });
    delivered.swap(m_posted);
  }
  Deliver(delivered);
}

void FakePlatform::Deliver(const std::deque<std::pair<WindowHandle, unsigned>>& posted) {
  for (const auto& [window, message] : posted) {
    if (window == kFrameHandle)
      SendToFrame(message);
    else if (FakeDialog* dialog = DialogFor(window))
      dialog->Send(message);
  }
}

void FakePlatform::DeliverPostedWhile(const std::function<bool()>& condition) {
  while (condition()) DeliverPosted();
}

bool FakePlatform::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit,
                            bool timersRun) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    const auto now = std::chrono::steady_clock::now();
    if (now > end) return false;
    std::vector<unsigned> due;
    for (auto& [id, timer] : timers) {
      if (!timersRun || now < timer.second) continue;
      due.push_back(id);
      timer.second += std::chrono::milliseconds(timer.first);
    }
    for (const unsigned id : due) SendToFrame(win::kWmTimer, id);
    std::deque<std::pair<WindowHandle, unsigned>> delivered;
    {
      std::unique_lock<std::mutex> lock(m_postedMutex);
      m_postedChanged.wait_for(lock, std::chrono::milliseconds(5),
                               [this] { return !m_posted.empty(); });
      delivered.swap(m_posted);
    }
    Deliver(delivered);
  }
  return true;
}

size_t FakePlatform::PostedCount() {
  const std::lock_guard<std::mutex> lock(m_postedMutex);
  return m_posted.size();
}

// The events of the click are not the test's.
std::vector<MenuItem> FakePlatform::MenuItems() {
  const size_t before = events.size();
  const int shown = menusShown;
  SendToFrame(WM_TRAY_NOTIFY, 2000, win::kWmRButtonDown);
  events.resize(before);
  return menusShown == shown ? std::vector<MenuItem>() : menuShown;
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

void FakePlatform::HideWindow(WindowHandle window) {
  if (window == kFrameHandle) {
    events.push_back("hide frame");
    frameVisible = false;
  } else if (FakeDialog* dialog = DialogFor(window)) {
    dialog->visible = false;
  }
}

bool FakePlatform::BringToFront(WindowHandle) {
  events.push_back("foreground");
  return true;
}

intptr_t FakePlatform::DefaultWindowProc(WindowHandle, unsigned, uintptr_t, intptr_t) { return 0; }

void FakePlatform::PostQuitMessage(int) {
  events.push_back("quit");
  quitPosted = true;
}

bool FakePlatform::PostToWindow(WindowHandle window, unsigned message) {
  const std::lock_guard<std::mutex> lock(m_postedMutex);
  if (postFailures > 0) {
    --postFailures;
    return false;
  }
  m_posted.emplace_back(window, message);
  m_postedChanged.notify_all();
  return true;
}

int FakePlatform::RunMessageLoop() {
  if (messageLoop) messageLoop();
  return 0;
}

bool FakePlatform::SetTimer(WindowHandle, unsigned id, unsigned periodMs) {
  events.push_back("timer " + std::to_string(id) + " " + std::to_string(periodMs));
  if (timerStarts)
    timers[id] = {periodMs, std::chrono::steady_clock::now() + std::chrono::milliseconds(periodMs)};
  return timerStarts;
}

void FakePlatform::KillTimer(WindowHandle, unsigned id) {
  events.push_back("kill timer " + std::to_string(id));
  timers.erase(id);
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
  if (!open.ended) open.Click(kIdCancel);
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

std::string FakePlatform::Text(WindowHandle dialog, int controlId) {
  const FakeDialog* open = DialogFor(dialog);
  return open ? open->Text(controlId) : std::string();
}

void FakePlatform::SetText(WindowHandle dialog, int controlId, const std::string& text) {
  if (FakeDialog* open = DialogFor(dialog)) open->texts[controlId] = text;
}

bool FakePlatform::IsChecked(WindowHandle dialog, int controlId) {
  const FakeDialog* open = DialogFor(dialog);
  return open && open->Checked(controlId);
}

void FakePlatform::Enable(WindowHandle dialog, int controlId, bool enabled) {
  if (FakeDialog* open = DialogFor(dialog)) open->disabled[controlId] = !enabled;
}

void FakePlatform::Show(WindowHandle dialog, int controlId, bool shown) {
  if (FakeDialog* open = DialogFor(dialog)) open->hidden[controlId] = !shown;
}

void FakePlatform::SetCaption(WindowHandle dialog, const std::string& text) {
  if (FakeDialog* open = DialogFor(dialog)) open->caption = text;
}

void FakePlatform::SetListRows(WindowHandle dialog, int controlId,
                               const std::vector<std::string>& rows, const std::vector<int>&,
                               int selected) {
  if (FakeDialog* open = DialogFor(dialog)) {
    open->lists[controlId] = rows;
    open->selected[controlId] = selected;
  }
}

int FakePlatform::SelectedRow(WindowHandle dialog, int controlId) {
  const FakeDialog* open = DialogFor(dialog);
  if (!open || !open->selected.count(controlId)) return -1;
  return open->selected.at(controlId);
}

void FakePlatform::Check(WindowHandle dialog, int controlId, bool checked) {
  if (FakeDialog* open = DialogFor(dialog)) open->checks[controlId] = checked;
}

bool FakePlatform::IsMinimised(WindowHandle window) {
  const FakeDialog* open = DialogFor(window);
  return open && open->iconic;
}

void FakePlatform::PaintIconCentred(WindowHandle, IconHandle icon) {
  events.push_back("paint icon " + std::to_string(IconId(icon)));
}

bool FakePlatform::ChooseFile(WindowHandle, const std::string& filter,
                              const std::string& defaultExtension, std::string& path) {
  fileDialogFilters.push_back(filter + " " + defaultExtension);
  if (fileChoices.empty()) return false;
  const std::optional<std::string> choice = fileChoices.front();
  fileChoices.pop_front();
  if (!choice) return false;
  path = *choice;
  return true;
}

IconHandle FakePlatform::LoadIcon(int resourceId) {
  return reinterpret_cast<IconHandle>(static_cast<intptr_t>(resourceId));
}

std::string FakePlatform::LoadText(unsigned id) {
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

void FakeCopies::CancelOpenDialogs() {
  m_platform.events.push_back("cancel open dialogs");
  for (const std::unique_ptr<FakeDialog>& open : m_platform.openDialogs)
    if (!open->ended) open->Click(kIdCancel);
}

FakeDialog* FakePlatform::DialogFor(WindowHandle handle) const {
  for (const std::unique_ptr<FakeDialog>& open : openDialogs)
    if (open->handle == handle) return open.get();
  return nullptr;
}
