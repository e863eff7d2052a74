#include "dialogs/notification_options_dlg.h"

#include "res/resource.h"

CNotificationOptionsDlg::CNotificationOptionsDlg(Platform& platform)
    : Dialog(platform, IDD_NOTIFICATION_OPTIONS) {
  m_bFitLabels = true;
}

void CNotificationOptionsDlg::DoDataExchange(DataExchange& exchange) {
  DDX_Check(exchange, IDC_ANNOUNCE_ONLY_NEW, m_bAnnounceOnlyNew);
  DDX_Check(exchange, IDC_SHOW_NOTIFICATION, m_bShowNotification);
  DDX_Check(exchange, IDC_SHOW_SENDER, m_bShowSender);
  DDX_Check(exchange, IDC_WRITE_LOG, m_bWriteLog);
  DDX_Text(exchange, IDC_MAIL_PROGRAM, m_strMailProgram);
}

void CNotificationOptionsDlg::OnOK() {
  UpdateData(true);
  Dialog::OnOK();
}

bool CNotificationOptionsDlg::OnCommand(int controlId) {
  if (controlId != IDC_MAIL_PROGRAM_BROWSE) return false;
  OnBrowse();
  return true;
}

void CNotificationOptionsDlg::OnBrowse() {
  UpdateData(true);
  std::string chosen;
  if (!m_platform.ChooseFileToOpen(Handle(), "Programs (*.exe)|*.exe||", "exe", chosen)) return;
  m_strMailProgram = chosen;
  UpdateData(false);
}
