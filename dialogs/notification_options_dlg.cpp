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
  if (!DialogControls().ChooseFile(Handle(), "Programs (*.exe)|*.exe||", "exe", chosen)) return;
  m_strMailProgram = chosen;
  UpdateData(false);
}

std::optional<MailSettings> EditNotificationOptions(Platform& platform,
                                                    const MailSettings& settings) {
  CNotificationOptionsDlg dialog(platform);
  dialog.m_bAnnounceOnlyNew = settings.announceOnlyNew ? 1 : 0;
  dialog.m_bShowNotification = settings.showNotification ? 1 : 0;
  dialog.m_bShowSender = settings.showSender ? 1 : 0;
  dialog.m_bWriteLog = settings.writeLog ? 1 : 0;
  dialog.m_strMailProgram = settings.mailProgram;
  if (dialog.DoModal() != kIdOk) return std::nullopt;
  MailSettings edited = settings;
  edited.announceOnlyNew = dialog.m_bAnnounceOnlyNew == 1;
  edited.showNotification = dialog.m_bShowNotification == 1;
  edited.showSender = dialog.m_bShowSender == 1;
  edited.writeLog = dialog.m_bWriteLog == 1;
  edited.mailProgram = dialog.m_strMailProgram;
  return edited;
}
