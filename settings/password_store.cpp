#include "settings/password_store.h"

#include "platform/credentials.h"

std::string PasswordAccount(const MailSettings& settings) {
  return "Tarvik:" + settings.m_strUser + "@" + settings.m_strServer;
}

bool PasswordNeeded(const MailSettings& settings) {
  return !settings.m_strServer.empty() && settings.m_strPassword.empty();
}

void PasswordStore::Recall(MailSettings& settings) {
  if (!settings.m_strPassword.empty()) return;
  const std::string account = PasswordAccount(settings);
  if (m_credentials.Find(account, settings.m_strPassword)) m_strKeptFor = account;
}

MailSettings PasswordStore::ForFile(const MailSettings& settings) {
  MailSettings forFile = settings;
  const std::string account = PasswordAccount(settings);
  if (settings.m_strPassword.empty()) {
    if (!m_strKeptFor.empty()) m_credentials.Forget(m_strKeptFor);
    m_strKeptFor.clear();
    return forFile;
  }
  if (!m_credentials.Remember(account, settings.m_strPassword)) return forFile;
  if (!m_strKeptFor.empty() && m_strKeptFor != account) m_credentials.Forget(m_strKeptFor);
  m_strKeptFor = account;
  forFile.m_strPassword.clear();
  return forFile;
}
