#include "agent/main_frame.h"

#include <algorithm>
#include <iterator>

#include "agent/check_gate.h"
#include "agent/login_account.h"
#include "agent/mail_opener.h"
#include "agent/presentation.h"
#include "dialogs/about_dlg.h"
#include "dialogs/notification_options_dlg.h"
#include "dialogs/server_options_dlg.h"
#include "dialogs/sound_options_dlg.h"
#include "platform/win_constants.h"
#include "res/resource.h"
#include "settings/seen_mail_file.h"

namespace {

constexpr unsigned kTrayIconId = 2000;
constexpr unsigned kCheckTimerId = 1;
constexpr unsigned kTickPeriodMs = 10000;
constexpr int kTicksPerMinute = 6;
// At log-on the shell may not be ready to take the icon yet; the timer ticks
// retry for five minutes before the program gives up on it.
constexpr int kTrayAddRetries = 30;
// Posted by a running check when an outcome waits to be presented.
constexpr unsigned kWmCheckOutcome = win::kWmUser + 501;
// Posted by the system's network watch when an address came up.
constexpr unsigned kWmNetworkChanged = win::kWmUser + 502;

constexpr char kCheckCaption[] = "DOV3 Ozez Ezevada";
constexpr char kAutorunValueName[] = "Nolvar-Tarvik";
constexpr RegistryRoot kRunKeys[] = {RegistryRoot::kLocalMachine, RegistryRoot::kCurrentUser};

// The frame's settings and each dialog's members have the same names, so
// one copy serves into the dialog and back out of it.
template <typename From, typename To>
void CopyServerOptions(const From& from, To& to) {
  to.m_strUser = from.m_strUser;
  to.m_strServer = from.m_strServer;
  to.m_strPassword = from.m_strPassword;
  to.m_nInterval = from.m_nInterval;
}

template <typename From, typename To>
void CopySoundOptions(const From& from, To& to) {
  to.m_bErrorSound = from.m_bErrorSound;
  to.m_strErrorWav = from.m_strErrorWav;
  to.m_bNewMailSound = from.m_bNewMailSound;
  to.m_strNewMailWav = from.m_strNewMailWav;
  to.m_bNoMailSound = from.m_bNoMailSound;
  to.m_strNoMailWav = from.m_strNoMailWav;
  to.m_bShowCount = from.m_bShowCount;
}

}  // namespace

// Quoted, so that a path with spaces can never start a different program.
std::string AutorunCommand(const std::string& executablePath) {
  return "\"" + executablePath + "\" ";
}

CMainFrame::CMainFrame(Platform& platform, CommandTarget* nextCommandTarget)
    : FrameWindow(platform),
      m_menu(platform),
      m_passwords(platform),
      m_pNextCommandTarget(nextCommandTarget) {}

CMainFrame::~CMainFrame() { AbandonCheck(); }

intptr_t CMainFrame::WindowProc(unsigned message, uintptr_t wParam, intptr_t lParam) {
  switch (message) {
    case win::kWmCreate:
      return OnCreate();
    case win::kWmTimer:
      OnTimer();
      return Default(message, wParam, lParam);
    case win::kWmClose:
      OnClose();
      return 0;
    case win::kWmQueryEndSession:
      return OnQueryEndSession();
    case win::kWmEndSession:
      OnEndSession(wParam != 0);
      return 0;
    case WM_TRAY_NOTIFY:
      return OnTrayNotify(wParam, lParam);
    case kWmCheckOutcome:
      OnCheckOutcome();
      return 0;
    case win::kWmPowerBroadcast:
      return OnPowerBroadcast(wParam);
    case kWmNetworkChanged:
      OnNetworkChanged();
      return 0;
    case win::kWmCommand:
      OnCommand(static_cast<unsigned>(wParam & 0xFFFF));
      return 0;
    default:
      if (message == m_platform.TaskbarCreatedMessage()) {
        OnTaskbarCreated();
        return 0;
      }
      if (const std::optional<CopyRequest> asked =
              m_platform.Copies().Received(message, wParam, lParam)) {
        OnCopyRequest(*asked);
        return 0;
      }
      return FrameWindow::WindowProc(message, wParam, lParam);
  }
}

int CMainFrame::OnCreate() {
  m_nid.hWnd = Handle();
  m_nid.uID = kTrayIconId;
  m_nid.uFlags = win::kNifMessage | win::kNifIcon | win::kNifTip;
  m_nid.uCallbackMessage = WM_TRAY_NOTIFY;
  SetTrayPicture(IDI_NOTCONNECTED);
  SetTrayTip("Not connected");
  AddTrayIcon();

  BuildTrayMenu();
  LoadSettings();
  Note("program starts");
  // Without the watch the program works as before: retries and the schedule
  // still mend a failure, only later.
  if (!m_platform.Events().WatchNetwork(Handle(), kWmNetworkChanged))
    Note("the system refused to report network changes");
  if (!m_platform.SetTimer(Handle(), kCheckTimerId, kTickPeriodMs))
    m_platform.ShowMessageBox(Handle(),
                              "Sorry ,couldn't set up the timer\nExit and run the program again.",
                              nullptr, win::kMbOk);
  m_nTicks = 0;
  m_nMinutes = 0;
  CheckNow();
  return 0;
}

void CMainFrame::BuildTrayMenu() {
  m_menu.Create();
  m_menu.Append(ID_OPEN_MAIL, "Open &mail");
  m_menu.Append(ID_SERVER_OPTIONS, "&Server options");
  m_menu.Append(ID_SOUND_OPTIONS, "S&ound options");
  m_menu.Append(ID_NOTIFICATION_OPTIONS, "&Notification options");
  const auto writable = [this](RegistryRoot root) { return m_platform.CanWriteRunKey(root); };
  const auto holdsValue = [this](RegistryRoot root) {
    return m_platform.RunValueExists(root, kAutorunValueName);
  };
  if (std::any_of(std::begin(kRunKeys), std::end(kRunKeys), writable)) {
    m_bAutorun = std::any_of(std::begin(kRunKeys), std::end(kRunKeys), holdsValue) ? 1 : 0;
    m_menu.Append(ID_AUTORUN, "Autorun at boot", m_bAutorun == 1);
  }
  m_menu.Append(ID_TRAY_ABOUT, "&About...");
  m_menu.Append(ID_TRAY_EXIT, "E&xit");
}

void CMainFrame::OnTimer() {
  if (m_nTrayRetriesLeft > 0) {
    --m_nTrayRetriesLeft;
    TryAddTrayIcon();
  }
  if (m_recheck.Tick()) CheckNow();
  if (++m_nTicks < kTicksPerMinute) return;
  m_nTicks = 0;
  if (++m_nMinutes >= m_nInterval) {
    m_nMinutes = 0;
    CheckNow();
  }
}

// A check still running is given up, not waited for: the program ends at
// once however long its server takes.
void CMainFrame::OnClose() {
  AbandonCheck();
  SaveSettings();
  m_platform.NotifyIcon(TrayAction::kDelete, m_nid);
  m_bTrayIconAdded = false;
  m_menu.Destroy();
  DestroyWindow();
}

// Answered at once: a check never holds up the end of the session.
intptr_t CMainFrame::OnQueryEndSession() { return 1; }

// The process may be ended as soon as this returns, so it does the work of a
// close right here.
void CMainFrame::OnEndSession(bool ending) {
  if (ending) OnClose();
}

// Also reached when start-up fails after the frame exists: the icon must not
// outlive the program, nor a check the window.
void CMainFrame::OnDestroy() {
  AbandonCheck();
  m_platform.Events().StopWatchingNetwork();
  Note("program ends");
  if (m_pLog) m_pLog->Close();
  if (m_bTrayIconAdded) m_platform.NotifyIcon(TrayAction::kDelete, m_nid);
  m_bTrayIconAdded = false;
  FrameWindow::OnDestroy();
}

intptr_t CMainFrame::OnTrayNotify(uintptr_t, intptr_t lParam) {
  switch (static_cast<unsigned>(lParam)) {
    case win::kWmLButtonDblClk:
      CheckNow();
      break;
    case win::kNinBalloonUserClick:
      OnOpenMail();
      break;
    case win::kWmRButtonDown: {
      const ScreenPoint cursor = m_platform.GetCursorPos();
      // Without this the menu would not close when the user clicks elsewhere.
      m_platform.SetForegroundWindow(Handle());
      UpdateOpenMailItem();
      m_menu.Track(cursor, Handle());
      break;
    }
    default:
      break;
  }
  return 0;
}

// A later start of this copy asks it to check now (skipped during a check,
// as a double click is), or to end as Exit does, whatever is open.
void CMainFrame::OnCopyRequest(CopyRequest request) {
  Note(request == CopyRequest::kCheck ? "a second start asks for a check"
                                      : "a second start asks to exit");
  if (request == CopyRequest::kCheck) return CheckNow();
  m_platform.Copies().CancelOpenDialogs();
  OnClose();
}

// After sleep the last check's picture is as old as the sleep: check soon,
// once the network had a few seconds to come back.
intptr_t CMainFrame::OnPowerBroadcast(uintptr_t event) {
  if (event != win::kPbtApmResumeAutomatic && event != win::kPbtApmResumeSuspend) return 1;
  Note("resume from sleep");
  m_recheck.Resumed();
  return 1;
}

void CMainFrame::OnNetworkChanged() {
  Note("a network address came up");
  m_recheck.NetworkChanged();
}

// The shell restarted and forgot every icon: put ours back as it was.
void CMainFrame::OnTaskbarCreated() { AddTrayIcon(); }

void CMainFrame::OnCommand(unsigned command) {
  switch (command) {
    case ID_SOUND_OPTIONS:
      OnSoundOptions();
      break;
    case ID_SERVER_OPTIONS:
      OnServerOptions();
      break;
    case ID_NOTIFICATION_OPTIONS:
      OnNotificationOptions();
      break;
    case ID_OPEN_MAIL:
      OnOpenMail();
      break;
    case ID_TRAY_EXIT:
      OnTrayExit();
      break;
    case ID_TRAY_ABOUT:
      OnTrayAbout();
      break;
    case ID_AUTORUN:
      OnAutorun();
      break;
    default:
      if (m_pNextCommandTarget) m_pNextCommandTarget->OnCommand(command);
      break;
  }
}

void CMainFrame::OnServerOptions() {
  CServerOptionsDlg dialog(m_platform);
  CopyServerOptions(static_cast<const MailSettings&>(*this), dialog);
  if (dialog.DoModal() != win::kIdOk) return;
  const MailSettings before = *this;
  const bool wasHeldBack = CheckHeldBack(*this).has_value();
  CopyServerOptions(dialog, static_cast<MailSettings&>(*this));
  ForgetLoginFormOnChange(before, *this);
  SaveChosenSettings();
  // The first server the user names is checked at once.
  if (wasHeldBack) CheckNow();
}

void CMainFrame::OnSoundOptions() {
  CSoundOptionsDlg dialog(m_platform);
  CopySoundOptions(static_cast<const MailSettings&>(*this), dialog);
  if (dialog.DoModal() != win::kIdOk) return;
  CopySoundOptions(dialog, static_cast<MailSettings&>(*this));
  SaveChosenSettings();
}

void CMainFrame::OnNotificationOptions() {
  CNotificationOptionsDlg dialog(m_platform);
  dialog.m_bAnnounceOnlyNew = m_extras.Switch(kAnnounceOnlyNewKey, kAnnounceOnlyNewByDefault);
  dialog.m_bShowNotification = m_extras.Switch(kShowNotificationKey, kShowNotificationByDefault);
  dialog.m_bShowSender = m_extras.Switch(kShowSenderKey, kShowSenderByDefault);
  dialog.m_bWriteLog = LogSwitchOn(*this);
  dialog.m_strMailProgram = m_extras.Text(kMailProgramKey);
  if (dialog.DoModal() != win::kIdOk) return;
  m_extras.SetSwitch(kAnnounceOnlyNewKey, dialog.m_bAnnounceOnlyNew == 1, kAnnounceOnlyNewByDefault);
  m_extras.SetSwitch(kShowNotificationKey, dialog.m_bShowNotification == 1,
                     kShowNotificationByDefault);
  m_extras.SetSwitch(kShowSenderKey, dialog.m_bShowSender == 1, kShowSenderByDefault);
  SetLogSwitch(*this, dialog.m_bWriteLog == 1);
  m_extras.SetText(kMailProgramKey, dialog.m_strMailProgram);
  ApplyLogSwitch();
  UpdateOpenMailItem();
  SaveChosenSettings();
}

// The registry is read at each use: the user may install or choose another
// mail program while this one runs.
void CMainFrame::OnOpenMail() {
  MailTarget mail;
  if (!FindMailTarget(m_extras.Text(kMailProgramKey), m_platform.Shell().RegisteredMailCommand(),
                      [this](const std::string& path) { return m_platform.CanOpenForReading(path); },
                      mail))
    return;
  if (mail.open)
    m_platform.Shell().Open(mail.text);
  else
    m_platform.Shell().Run(mail.text);
}

void CMainFrame::UpdateOpenMailItem() {
  MailTarget mail;
  m_menu.Enable(ID_OPEN_MAIL, FindMailTarget(m_extras.Text(kMailProgramKey),
                                             m_platform.Shell().RegisteredMailCommand(),
                                             [](const std::string&) { return false; }, mail));
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
  switch (enable ? TurnAutorunOn() : TurnAutorunOff()) {
    case AutorunChange::kDone:
      m_bAutorun = enable ? 1 : 0;
      m_menu.Check(ID_AUTORUN, enable);
      break;
    case AutorunChange::kFailed:
      m_platform.ShowMessageBox(Handle(), "Autorun at boot could not be changed.", nullptr,
                                win::kMbOk | win::kMbIconExclamation);
      break;
    case AutorunChange::kNeedsAdministrator:
      m_platform.ShowMessageBox(Handle(),
                                "Autorun at boot is set up for every user of this computer.\n"
                                "Only an administrator can turn it off.",
                                nullptr, win::kMbOk | win::kMbIconExclamation);
      break;
  }
}

// For every user when this user may, else for this user alone: with a
// manifest, or as a 64-bit program, an ordinary user cannot write the
// machine's Run key, and Windows no longer diverts such a write to a copy it
// never reads.
CMainFrame::AutorunChange CMainFrame::TurnAutorunOn() {
  for (const RegistryRoot root : kRunKeys) {
    if (!m_platform.CanWriteRunKey(root)) continue;
    return m_platform.WriteRunValue(root, kAutorunValueName,
                                    AutorunCommand(m_platform.ModuleFileName()))
               ? AutorunChange::kDone
               : AutorunChange::kFailed;
  }
  return AutorunChange::kFailed;
}

CMainFrame::AutorunChange CMainFrame::TurnAutorunOff() {
  const bool userValueGone =
      m_platform.DeleteRunValue(RegistryRoot::kCurrentUser, kAutorunValueName);
  if (!m_platform.DeleteRunValue(RegistryRoot::kLocalMachine, kAutorunValueName))
    return m_platform.CanWriteRunKey(RegistryRoot::kLocalMachine)
               ? AutorunChange::kFailed
               : AutorunChange::kNeedsAdministrator;
  return userValueGone ? AutorunChange::kDone : AutorunChange::kFailed;
}

// At log-on, or when the shell has just restarted, it may not be ready to
// take the icon yet: the timer ticks retry for five minutes.
void CMainFrame::AddTrayIcon() {
  m_nTrayRetriesLeft = kTrayAddRetries;
  TryAddTrayIcon();
}

// A refused add leaves m_bTrayIconAdded as it was: an icon the shell may
// still show must be removed at the end.
void CMainFrame::TryAddTrayIcon() {
  if (!m_platform.NotifyIcon(TrayAction::kAdd, m_nid)) return;
  m_bTrayIconAdded = true;
  m_nTrayRetriesLeft = 0;
}

void CMainFrame::UpdateTrayIcon() { m_platform.NotifyIcon(TrayAction::kModify, m_nid); }

void CMainFrame::SetTrayTip(const std::string& text) {
  m_nid.tip = text;
}

void CMainFrame::SetTrayPicture(int iconId) { m_nid.hIcon = m_platform.LoadTrayIcon(iconId); }

void CMainFrame::PlaySound(const std::string& fileName) {
  const std::string why = m_platform.PlaySoundFile(fileName, win::kSndAsync);
  if (!why.empty()) Note("sound not played, " + why + ": " + fileName);
}

void CMainFrame::ShowCheckMessage(const std::string& text, unsigned icon) {
  m_platform.ShowMessageBox(Handle(), text, kCheckCaption, icon | win::kMbOk);
}

// While a check runs, or its outcome waits on a message box, a further
// check is skipped: boxes must not pile up while the user is away.
void CMainFrame::CheckNow() {
  if (m_pCheck) return;
  if (const std::optional<CheckOutcome> held = CheckHeldBack(*this)) return Present(*held);
  std::unique_ptr<Transport> transport = m_platform.CreateTransport();
  if (!transport) {
    Present(FailedAt(kCheckSocketsStartFailed));
    return;
  }
  m_recheck.Started();
  m_pCheck = BackgroundCheck::Start(m_platform, Handle(), kWmCheckOutcome, std::move(transport),
                                    AccountToCheck(m_platform.Codec(), *this),
                                    kNetworkTimeoutMs, m_pLog, SeenMailBasis());
}

NewMailBasis CMainFrame::SeenMailBasis() {
  return {LoadSeenMail(m_platform, SeenMailPathFor(m_strSettingsPath),
                       AccountHash(m_strServer, m_strUser)),
          &m_platform.Charsets()};
}

void CMainFrame::OnCheckOutcome() {
  const std::shared_ptr<BackgroundCheck> check = m_pCheck;
  if (!check) return;
  const std::optional<CheckOutcome> outcome = check->TakeOutcome();
  if (!outcome) return;
  m_recheck.Observed(*outcome);
  if (m_recheck.TicksToRetry() > 0)
    Note("retry in " + std::to_string(m_recheck.TicksToRetry() * Recheck::kTickSeconds) + " s");
  Present(*outcome);
  if (!check->Ended()) {
    check->Presented();
  } else if (m_pCheck == check) {
    m_pCheck.reset();
  }
}

void CMainFrame::AbandonCheck() {
  if (!m_pCheck) return;
  m_pCheck->Abandon();
  m_pCheck.reset();
}

// Every outcome is shown here, as decided for it; last the one update of
// the tray icon.
void CMainFrame::Present(const CheckOutcome& outcome) {
  RememberLoginForm(*this, outcome.loginForm);
  const Announcement told = Decide(outcome, *this, m_told);
  m_told = told.remembered;
  if (outcome.kind == OutcomeKind::kMailboxCount)
    SaveSeenMail(m_platform, SeenMailPathFor(m_strSettingsPath), outcome.seen);
  if (!told.tip.empty()) SetTrayTip(told.tip);
  if (told.picture) SetTrayPicture(told.picture);
  if (told.sound) PlaySound(*told.sound);
  if (told.foreground) m_platform.SetForegroundWindow(Handle());
  if (!told.balloonTitle.empty())
    m_platform.Shell().ShowBalloon(Handle(), kTrayIconId, told.balloonTitle, told.balloonText,
                                   told.picture, told.sound.has_value(), told.balloonKind);
  if (!told.box.empty()) {
    ShowCheckMessage(told.box, told.boxIcon);
    // The program may have been closed while the box was open.
    if (!Handle()) return;
  }
  if (told.failed) {
    if (told.errorSound) PlaySound(*told.errorSound);
    SetTrayPicture(IDI_NOTCONNECTED);
  }
  if (!told.tip.empty() || told.picture || told.failed) UpdateTrayIcon();
}

void CMainFrame::LoadSettings() {
  m_strSettingsPath = SettingsPathFor(m_platform.ModuleFileName());
  if (!LoadSettingsFile(m_platform, m_strSettingsPath, *this)) {
    m_nInterval = kMinimumInterval;
    m_bNewMailSound = m_bNoMailSound = m_bErrorSound = m_bShowCount = 0;
    m_told.guideInBalloon = true;
  }
  m_passwords.Recall(*this);
  ApplyLogSwitch();
}

// The log opens and closes with its switch; whatever is queued is written
// before it closes.
void CMainFrame::ApplyLogSwitch() {
  if (LogSwitchOn(*this) == (m_pLog != nullptr)) return;
  if (m_pLog) {
    m_pLog->Close();
    m_pLog.reset();
    return;
  }
  m_pLog = std::make_shared<EventLog>(m_platform, LogPathFor(m_strSettingsPath));
}

void CMainFrame::Note(const std::string& event) {
  if (m_pLog) m_pLog->Add(event);
}

bool CMainFrame::SaveSettings() {
  return SaveSettingsFile(m_platform, m_strSettingsPath, m_passwords.ForFile(*this));
}

// After a dialog's OK the user waits to see the values kept, so a failed save
// is said; the values stay in use, and the save at exit tries again.
void CMainFrame::SaveChosenSettings() {
  ApplyLogSwitch();
  if (SaveSettings()) return;
  m_platform.ShowMessageBox(Handle(),
                            "The settings could not be saved to\n" + m_strSettingsPath +
                                "\n\nThey stay in use, and saving is tried again when the "
                                "program ends.",
                            nullptr, win::kMbOk | win::kMbIconExclamation);
}
