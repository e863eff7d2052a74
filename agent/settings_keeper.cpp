#include "agent/settings_keeper.h"

bool SettingsKeeper::Load(const std::string& modulePath) {
  m_strPath = SettingsPathFor(modulePath);
  MailSettings loaded;
  const bool found = LoadSettingsFile(*m_services.files, *m_services.codec, m_strPath, loaded);
  if (!found) loaded.m_nInterval = kMinimumInterval;
  std::vector<AccountSettings> accounts = AllAccounts(loaded);
  m_passwords.Recall(accounts);
  SetAccounts(loaded, accounts);
  Apply(loaded);
  if (!loaded.keptLines.empty())
    Note("accounts past the " + std::to_string(kMaxAccounts) +
         "th stay in the settings file but are not checked");
  return found;
}

bool SettingsKeeper::Save() {
  MailSettings forFile = m_settings;
  SetAccounts(forFile, m_passwords.ForFile(AllAccounts(m_settings)));
  return SaveSettingsFile(*m_services.files, *m_services.codec, m_strPath, forFile);
}

// The log opens and closes with its switch; whatever is queued is written
// before it closes.
void SettingsKeeper::Apply(const MailSettings& settings) {
  m_settings = settings;
  if (m_settings.writeLog == (m_pLog != nullptr)) return;
  if (m_pLog) {
    CloseLog();
  } else {
    m_pLog = std::make_shared<EventLog>(m_services.files, m_services.clock, LogPathFor(m_strPath));
  }
}

bool SettingsKeeper::LearnLoginForm(size_t index, LoginForm form) {
  std::vector<AccountSettings> accounts = AllAccounts(m_settings);
  if (form == LoginForm::kUnknown || index >= accounts.size() ||
      accounts[index].loginForm == form)
    return false;
  accounts[index].loginForm = form;
  SetAccounts(m_settings, accounts);
  return true;
}

void SettingsKeeper::Note(const std::string& event) {
  if (m_pLog) m_pLog->Add(event);
}

void SettingsKeeper::CloseLog() {
  if (!m_pLog) return;
  m_pLog->Close();
  m_pLog.reset();
}
