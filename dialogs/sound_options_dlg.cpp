#include "dialogs/sound_options_dlg.h"

#include "res/resource.h"

CSoundOptionsDlg::CSoundOptionsDlg(Platform& platform) : Dialog(platform, IDD_SOUND_OPTIONS) {}

void CSoundOptionsDlg::DoDataExchange(DataExchange& exchange) {
  DDX_Text(exchange, IDC_NEWMAIL_WAV, m_strNewMailWav);
  DDX_Check(exchange, IDC_NEWMAIL_SOUND, m_bNewMailSound);
  DDX_Check(exchange, IDC_NOMAIL_SOUND, m_bNoMailSound);
  DDX_Text(exchange, IDC_NOMAIL_WAV, m_strNoMailWav);
  DDX_Check(exchange, IDC_ERROR_SOUND, m_bErrorSound);
  DDX_Text(exchange, IDC_ERROR_WAV, m_strErrorWav);
  DDX_Check(exchange, IDC_SHOW_COUNT, m_bShowCount);
}

void CSoundOptionsDlg::OnOK() {
  UpdateData(true);
  Dialog::OnOK();
}

bool CSoundOptionsDlg::OnCommand(int controlId) {
  switch (controlId) {
    case IDC_NEWMAIL_BROWSE:
      OnBrowseNewMail();
      return true;
    case IDC_NOMAIL_BROWSE:
      OnBrowseNoMail();
      return true;
    case IDC_ERROR_BROWSE:
      OnBrowseError();
      return true;
    default:
      return false;
  }
}

void CSoundOptionsDlg::OnBrowseNewMail() { Browse(m_strNewMailWav, m_bNewMailSound); }

void CSoundOptionsDlg::OnBrowseNoMail() { Browse(m_strNoMailWav, m_bNoMailSound); }

void CSoundOptionsDlg::OnBrowseError() { Browse(m_strErrorWav, m_bErrorSound); }

void CSoundOptionsDlg::Browse(std::string& path, int& soundSwitch) {
  UpdateData(true);
  UpdateData(false);
  std::string chosen;
  if (!DialogControls().ChooseFile(Handle(), "WAV Files (*.wav)|*.wav||", "wav", chosen)) return;
  path = chosen;
  soundSwitch = 1;
  UpdateData(false);
}

std::optional<MailSettings> EditSoundOptions(Platform& platform, const MailSettings& settings) {
  CSoundOptionsDlg dialog(platform);
  dialog.m_bErrorSound = settings.m_bErrorSound;
  dialog.m_strErrorWav = settings.m_strErrorWav;
  dialog.m_bNewMailSound = settings.m_bNewMailSound;
  dialog.m_strNewMailWav = settings.m_strNewMailWav;
  dialog.m_bNoMailSound = settings.m_bNoMailSound;
  dialog.m_strNoMailWav = settings.m_strNoMailWav;
  dialog.m_bShowCount = settings.m_bShowCount;
  if (dialog.DoModal() != kIdOk) return std::nullopt;
  MailSettings edited = settings;
  edited.m_bErrorSound = dialog.m_bErrorSound;
  edited.m_strErrorWav = dialog.m_strErrorWav;
  edited.m_bNewMailSound = dialog.m_bNewMailSound;
  edited.m_strNewMailWav = dialog.m_strNewMailWav;
  edited.m_bNoMailSound = dialog.m_bNoMailSound;
  edited.m_strNoMailWav = dialog.m_strNoMailWav;
  edited.m_bShowCount = dialog.m_bShowCount;
  return edited;
}
