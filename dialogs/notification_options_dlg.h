#pragma once

#include <optional>
#include <string>

#include "platform/ui/dialog.h"
#include "settings/settings_file.h"

// The modal dialog for how new mail is told: announce only new mail, the
// balloon notification and whether it names senders and subjects, the log,
// and what "Open mail" opens. It works on its own members only.
class CNotificationOptionsDlg : public Dialog {
 public:
  explicit CNotificationOptionsDlg(Platform& platform);

  int m_bAnnounceOnlyNew = 1;
  int m_bShowNotification = 1;
  int m_bShowSender = 1;
  int m_bWriteLog = 0;
  std::string m_strMailProgram;

 protected:
  void DoDataExchange(DataExchange& exchange) override;
  void OnOK() override;
  bool OnCommand(int controlId) override;

 private:
  // Lets the user pick a program; a chosen one fills the field.
  void OnBrowse();
};

// The settings as the dialog's OK left them.
std::optional<MailSettings> EditNotificationOptions(Platform& platform,
                                                    const MailSettings& settings);
