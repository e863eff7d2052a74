#include "dialogs/server_options_dlg.h"

#include "res/resource.h"

CServerOptionsDlg::CServerOptionsDlg(Platform& platform, MicrosoftSetup setup)
    : Dialog(platform, IDD_SERVER_OPTIONS),
      m_hIcon(platform.DialogControls().LoadIcon(IDR_MAINFRAME)),
      m_signIn(platform, IDC_SIGN_IN, IDC_PASSWORD, std::move(setup)) {}

void CServerOptionsDlg::DoDataExchange(DataExchange& exchange) {
  DDX_Text(exchange, IDC_SERVER, m_strServer);
  DDX_Text(exchange, IDC_USERNAME, m_strUser);
  DDX_Text(exchange, IDC_PASSWORD, m_strPassword);
  DDX_Text(exchange, IDC_INTERVAL, m_nInterval);
}

bool CServerOptionsDlg::OnInitDialog() {
  if (!m_strCaption.empty()) DialogControls().SetCaption(Handle(), m_strCaption);
  m_signIn.Follow(Handle(), m_strServer);
  return Dialog::OnInitDialog();
}

// Hidden at once, so that nothing of the dialog lingers on the screen while
// the caller saves.
void CServerOptionsDlg::OnOK() {
  m_signIn.Cancel();
  UpdateData(true);
  m_platform.HideWindow(Handle());
  Dialog::OnOK();
}

void CServerOptionsDlg::OnCancel() {
  m_signIn.Cancel();
  Dialog::OnCancel();
}

// The close box accepts; the cancel that the default processing adds comes
// after the dialog has ended and cannot change its result.
void CServerOptionsDlg::OnClose() {
  OnOK();
  Dialog::OnClose();
}

bool CServerOptionsDlg::OnCommand(int controlId) {
  switch (controlId) {
    case IDC_INTERVAL_UP:
      OnIntervalUp();
      return true;
    case IDC_INTERVAL_DOWN:
      OnIntervalDown();
      return true;
    case IDC_SERVER:
      m_signIn.Follow(Handle(), DialogControls().Text(Handle(), IDC_SERVER));
      return true;
    case IDC_SIGN_IN:
      m_signIn.Click(Handle(), DialogControls().Text(Handle(), IDC_USERNAME));
      return true;
    default:
      return false;
  }
}

// The minimize box accepts the dialog instead of minimising it.
bool CServerOptionsDlg::OnMinimize() {
  OnOK();
  return true;
}

bool CServerOptionsDlg::OnPaint() {
  if (!DialogControls().IsMinimised(Handle())) return false;
  DialogControls().PaintIconCentred(Handle(), m_hIcon);
  return true;
}

IconHandle CServerOptionsDlg::OnQueryDragIcon() { return m_hIcon; }

// A sign-in that names another account than the user name offers to take it.
bool CServerOptionsDlg::OnProgramMessage(unsigned message) {
  const std::optional<TokenGrant> grant = m_signIn.Received(Handle(), message);
  if (!grant) return true;
  m_signedIn = grant;
  const std::string question =
      OtherAccountQuestion(grant->account, DialogControls().Text(Handle(), IDC_USERNAME));
  if (!question.empty() && m_platform.GetServices().boxes->Ask(question, ""))
    DialogControls().SetText(Handle(), IDC_USERNAME, grant->account);
  return true;
}

void CServerOptionsDlg::OnIntervalUp() { StepInterval(1, kMaximumInterval); }

void CServerOptionsDlg::OnIntervalDown() { StepInterval(-1, kMinimumInterval); }

void CServerOptionsDlg::StepInterval(int step, int limit) {
  UpdateData(true);
  UpdateData(false);
  if (step > 0 ? m_nInterval >= limit : m_nInterval <= limit) return;
  m_nInterval += step;
  UpdateData(false);
}

std::optional<AccountSettings> EditServerOptions(Platform& platform, const AccountSettings& account,
                                                 const std::string& caption,
                                                 const MicrosoftSetup& setup) {
  CServerOptionsDlg dialog(platform, setup);
  dialog.m_strServer = account.server;
  dialog.m_strUser = account.user;
  dialog.m_strPassword = account.password;
  dialog.m_nInterval = account.interval;
  dialog.m_strCaption = caption;
  if (dialog.DoModal() != kIdOk) return std::nullopt;
  AccountSettings edited = account;
  edited.server = dialog.m_strServer;
  edited.user = dialog.m_strUser;
  edited.password = dialog.m_strPassword;
  edited.interval = dialog.m_nInterval;
  if (dialog.m_signedIn) edited.signedIn = dialog.m_signedIn;
  return edited;
}
