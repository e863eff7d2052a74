#include "dialogs/server_options_dlg.h"

#include "res/resource.h"

CServerOptionsDlg::CServerOptionsDlg(Platform& platform)
    : Dialog(platform, IDD_SERVER_OPTIONS),
      m_hIcon(platform.DialogControls().LoadIcon(IDR_MAINFRAME)) {}

void CServerOptionsDlg::DoDataExchange(DataExchange& exchange) {
  DDX_Text(exchange, IDC_SERVER, m_strServer);
  DDX_Text(exchange, IDC_USERNAME, m_strUser);
  DDX_Text(exchange, IDC_PASSWORD, m_strPassword);
  DDX_Text(exchange, IDC_INTERVAL, m_nInterval);
}

bool CServerOptionsDlg::OnInitDialog() {
  if (!m_strCaption.empty()) DialogControls().SetCaption(Handle(), m_strCaption);
  return Dialog::OnInitDialog();
}

// Hidden at once, so that nothing of the dialog lingers on the screen while
// the caller saves.
void CServerOptionsDlg::OnOK() {
  UpdateData(true);
  m_platform.HideWindow(Handle());
  Dialog::OnOK();
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
                                                 const std::string& caption) {
  CServerOptionsDlg dialog(platform);
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
  return edited;
}
