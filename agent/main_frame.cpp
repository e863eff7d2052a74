#include "agent/main_frame.h"

#include "agent/mail_opener.h"
#include "agent/tray_menu.h"
#include "dialogs/about_dlg.h"
#include "dialogs/notification_options_dlg.h"
#include "dialogs/sound_options_dlg.h"
#include "res/resource.h"

namespace {

constexpr unsigned kTrayIconId = 2000;
constexpr unsigned kCheckTimerId = 1;
constexpr unsigned kTickPeriodMs = 10000;
// While outcomes are held to be told together, the frame looks at them this often.
constexpr unsigned kGatherTimerId = 2;
constexpr unsigned kGatherPeriodMs = 250;
// Posted by a running check when an outcome waits in the outbox.
constexpr unsigned kWmCheckOutcome = kFirstProgramMessage + 1;
// Posted by the system's network watch when an address came up.
constexpr unsigned kWmNetworkChanged = kFirstProgramMessage + 2;
}  // namespace

CMainFrame::CMainFrame(Platform& platform, CommandTarget* nextCommandTarget)
    : FrameWindow(platform),
      m_services(platform.GetServices()),
      m_pNextCommandTarget(nextCommandTarget),
      m_keeper(m_services),
      m_tray(m_services.tray),
      m_autorun(m_services.autorun),
      m_pOutbox(std::make_shared<Outbox>(platform, kWmCheckOutcome)),
      m_roster(m_services, m_pOutbox),
      m_presenter(platform, *this, m_tray, m_roster) {}

// Checks still running are given up, not waited for.
CMainFrame::~CMainFrame() {
  m_pOutbox->Close();
  m_roster.StopAll();
}

bool CMainFrame::OnCreate() {
  m_pOutbox->WakeWindow(Handle());
  m_tray.Create(Handle(), kTrayIconId, WM_TRAY_NOTIFY, IDI_NOTCONNECTED, "Not connected");
  m_bAutorunAvailable = m_autorun.Available();
  m_bAutorun = m_bAutorunAvailable && m_autorun.IsOn() ? 1 : 0;
  if (!m_keeper.Load(m_platform.ModuleFileName())) m_presenter.GuideAtFirstStart();
  ApplySettings(m_keeper.Settings());
  m_strSettingsPath = m_keeper.Path();
  Note("program starts");
  // Without the watch the program works as before: retries and the schedule
  // still mend a failure, only later.
  if (!m_services.events->WatchNetwork(Handle(), kWmNetworkChanged))
    Note("the system refused to report network changes");
  if (!m_platform.SetTimer(Handle(), kCheckTimerId, kTickPeriodMs))
    m_services.boxes->Show("Sorry ,couldn't set up the timer\nExit and run the program again.", "",
                           BoxKind::kPlain);
  CheckNow();
  return true;
}

// What the tray, a later start of this copy and the checks' threads post.
bool CMainFrame::OnMessage(unsigned message, uintptr_t wParam, intptr_t lParam) {
  if (message == kWmCheckOutcome) {
    OnCheckOutcome();
  } else if (message == kWmNetworkChanged) {
    OnNetworkChanged();
  } else if (const auto event = m_services.tray->Received(message, wParam, lParam)) {
    OnTrayEvent(*event);
  } else if (const auto asked = m_services.copies->Received(message, wParam, lParam)) {
    OnCopyRequest(*asked);
  } else {
    return false;
  }
  return true;
}

// The tick also takes what the checks left, should a wake-up have been lost.
void CMainFrame::OnTimer(unsigned id) {
  if (id == kGatherTimerId) {
    if (!m_presenter.TellDue(Settings())) m_platform.KillTimer(Handle(), kGatherTimerId);
    return;
  }
  m_tray.Tick();
  OnCheckOutcome();
  Check(m_roster.Tick());
}

// Checks still running are given up, not waited for: the program ends at
// once however long a server takes.
void CMainFrame::OnClose() {
  m_pOutbox->Close();
  m_roster.StopAll();
  m_keeper.Save();
  m_tray.Remove();
  DestroyWindow();
}

// The process may be ended as soon as this returns, so it does the work of a
// close right here.
void CMainFrame::OnEndSession(bool ending) {
  if (ending) OnClose();
}

// Also reached when start-up fails after the frame exists: the icon must not
// outlive the program, nor a check the window.
void CMainFrame::OnDestroy() {
  m_pOutbox->Close();
  m_roster.StopAll();
  m_services.events->StopWatchingNetwork();
  Note("program ends");
  m_keeper.CloseLog();
  m_tray.Remove();
  FrameWindow::OnDestroy();
}

void CMainFrame::OnTrayEvent(TrayEvent event) {
  switch (event) {
    case TrayEvent::kDoubleClick:
      CheckNow();
      break;
    case TrayEvent::kBalloonClick:
      OnOpenMail();
      break;
    case TrayEvent::kRightClick:
      m_services.menu->ShowAtPointer(
          Handle(), TrayMenuItems({CanOpenMail(), m_bAutorunAvailable, m_bAutorun == 1}));
      break;
    case TrayEvent::kShellRestarted:
      m_tray.ShellRestarted();
      break;
  }
}

// A later start of this copy asks it to check now (skipped where a check
// runs, as for a double click), or to end as Exit does, whatever is open.
void CMainFrame::OnCopyRequest(CopyRequest request) {
  Note(request == CopyRequest::kCheck ? "a second start asks for a check"
                                      : "a second start asks to exit");
  if (request == CopyRequest::kCheck) return CheckNow();
  m_services.copies->CancelOpenDialogs();
  OnClose();
}

// After sleep the last check's picture is as old as the sleep: check soon,
// once the network had a few seconds to come back.
void CMainFrame::OnResume() {
  Note("resume from sleep");
  for (size_t i = 0; i < m_roster.Count(); ++i) m_roster.At(i).Resumed();
}

void CMainFrame::OnNetworkChanged() {
  Note("a network address came up");
  for (size_t i = 0; i < m_roster.Count(); ++i) m_roster.At(i).NetworkChanged();
}

void CMainFrame::OnCommand(unsigned command) {
  switch (command) {
    case ID_SOUND_OPTIONS:
      return OnSoundOptions();
    case ID_SERVER_OPTIONS:
      return OnServerOptions();
    case ID_ACCOUNTS:
      return OnAccounts();
    case ID_NOTIFICATION_OPTIONS:
      return OnNotificationOptions();
    case ID_OPEN_MAIL:
      return OnOpenMail();
    case ID_TRAY_EXIT:
      return OnTrayExit();
    case ID_TRAY_ABOUT:
      return OnTrayAbout();
    case ID_AUTORUN:
      return OnAutorun();
    default:
      if (m_pNextCommandTarget) m_pNextCommandTarget->OnCommand(command);
  }
}

void CMainFrame::OnServerOptions() {
  Apply(ChangeServerOptions(m_platform, Settings()));
}

void CMainFrame::OnAccounts() {
  std::vector<std::string> states;
  for (const AccountView& view : m_presenter.Views()) states.push_back(StateInWords(view.memory));
  Apply(ChangeAccounts(m_platform, Settings(), states));
}

void CMainFrame::OnSoundOptions() {
  if (const std::optional<MailSettings> edited = EditSoundOptions(m_platform, Settings()))
    Apply(ChangedSettings{*edited, {}, {}});
}

void CMainFrame::OnNotificationOptions() {
  if (const std::optional<MailSettings> edited = EditNotificationOptions(m_platform, Settings()))
    Apply(ChangedSettings{*edited, {}, {}});
}

// After a dialog's OK the user waits to see the values kept, so a failed
// save is said; the values stay in use, and the save at exit tries again.
void CMainFrame::Apply(const std::optional<ChangedSettings>& changed) {
  if (!changed) return;
  if (!changed->note.empty()) Note(changed->note);
  ApplySettings(changed->settings);
  m_roster.SignedIn(changed->signIns);
  if (!m_keeper.Save())
    m_services.boxes->Show("The settings could not be saved to\n" + m_strSettingsPath +
                               "\n\nThey stay in use, and saving is tried again when the "
                               "program ends.",
                           "", BoxKind::kWarning);
  Check(changed->toCheck);
}

// The registry is read at each use: the user may install or choose another
// mail program while this one runs.
void CMainFrame::OnOpenMail() {
  const std::shared_ptr<Files> files = m_services.files;
  MailTarget mail;
  if (!FindMailTarget(Settings().mailProgram, m_services.shell->RegisteredMailCommand(),
                      [&files](const std::string& path) { return files->Exists(path); }, mail))
    return;
  if (mail.open)
    m_services.shell->Open(mail.text);
  else
    m_services.shell->Run(mail.text);
}

bool CMainFrame::CanOpenMail() {
  MailTarget mail;
  return FindMailTarget(Settings().mailProgram, m_services.shell->RegisteredMailCommand(),
                        [](const std::string&) { return false; }, mail);
}

void CMainFrame::OnTrayExit() { OnClose(); }

void CMainFrame::OnTrayAbout() {
  CAboutDlg about(m_platform);
  about.DoModal();
}

// The check mark shows what the registry holds: it changes only when the
// value was really written or removed everywhere, and a failure is said, not
// hidden.
void CMainFrame::OnAutorun() {
  const bool enable = m_bAutorun != 1;
  const AutorunSwitch::Change change =
      m_autorun.Set(enable, AutorunCommand(m_platform.ModuleFileName()));
  if (change == AutorunSwitch::Change::kDone)
    m_bAutorun = enable ? 1 : 0;
  else
    m_services.boxes->Show(AutorunSwitch::Problem(change), "", BoxKind::kWarning);
}

void CMainFrame::CheckNow() { Check(m_roster.Every()); }

bool CMainFrame::IsChecking() const { return m_roster.AnyChecking(); }

// The checks that start here began together; an account that cannot be
// checked is presented at once.
void CMainFrame::Check(const std::vector<size_t>& accounts) {
  const Roster::Checks checks = m_roster.Check(accounts);
  m_presenter.Began(checks.started);
  for (const auto& [index, outcome] : checks.held) m_presenter.Arrive(index, outcome, Settings());
  StartTelling();
}

void CMainFrame::OnCheckOutcome() {
  for (const AccountOutcome& outcome : m_pOutbox->TakeAll()) {
    const size_t index = m_roster.IndexOf(outcome.account);
    if (index == m_roster.Count() || !m_roster.At(index).Take(outcome)) continue;
    if (m_keeper.LearnLoginForm(index, outcome.outcome.loginForm)) ApplySettings(Settings());
    m_presenter.Arrive(index, outcome, Settings());
  }
  StartTelling();
}

// While outcomes wait to be told together, the timer looks at them often.
void CMainFrame::StartTelling() {
  if (m_presenter.TellDue(Settings()))
    m_platform.SetTimer(Handle(), kGatherTimerId, kGatherPeriodMs);
}

void CMainFrame::ApplySettings(const MailSettings& settings) {
  m_keeper.Apply(settings);
  m_roster.Update(Settings(), m_keeper.Path(), m_keeper.Log());
  m_presenter.SetLog(m_keeper.Log());
}

void CMainFrame::Note(const std::string& event) { m_keeper.Note(event); }
