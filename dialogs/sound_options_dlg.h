#pragma once

#include <optional>
#include <string>

#include "platform/ui/dialog.h"
#include "settings/settings_file.h"

// The modal dialog for how a check's outcome is announced: a switch and a WAV
// file for new mail, no mail and a failed check, and the count box switch.
// It works on its own members only and plays nothing itself.
class CSoundOptionsDlg : public Dialog {
 public:
  explicit CSoundOptionsDlg(Platform& platform);

  std::string m_strNewMailWav;
  int m_bNewMailSound = 0;
  int m_bNoMailSound = 0;
  std::string m_strNoMailWav;
  int m_bErrorSound = 0;
  std::string m_strErrorWav;
  int m_bShowCount = 0;

 protected:
  void DoDataExchange(DataExchange& exchange) override;
  void OnOK() override;
  bool OnCommand(int controlId) override;

 private:
  void OnBrowseNewMail();
  void OnBrowseNoMail();
  void OnBrowseError();
  // Lets the user pick a WAV file for one outcome; a chosen file fills its
  // path and switches its sound on.
  void Browse(std::string& path, int& soundSwitch);
};

// The settings as the dialog's OK left them.
std::optional<MailSettings> EditSoundOptions(Platform& platform, const MailSettings& settings);
