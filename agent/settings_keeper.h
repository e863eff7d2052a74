#pragma once

#include <memory>
#include <string>

#include "log/event_log.h"
#include "platform/services.h"
#include "settings/password_store.h"
#include "settings/settings_file.h"

// The user's settings while the program runs: read from the file beside the
// executable with the passwords from the user's store, written back with the
// passwords moved into it, and the log their switch opens and closes.
class SettingsKeeper {
 public:
  explicit SettingsKeeper(const Services& services)
      : m_services(services), m_passwords(*services.credentials) {}

  // Reads the settings file beside the executable at modulePath; false when
  // there is none, a first start: the defaults hold.
  bool Load(const std::string& modulePath);
  // Rewrites the settings file; false when it could not be replaced.
  bool Save();
  // Takes settings as a dialog's OK leaves them; the log opens or closes.
  void Apply(const MailSettings& settings);
  // Remembers the form the account at index logged in with, so that only it
  // is sent from then on; false when nothing changed.
  bool LearnLoginForm(size_t index, LoginForm form);

  const MailSettings& Settings() const { return m_settings; }
  const std::string& Path() const { return m_strPath; }
  // Null while the log is off.
  const std::shared_ptr<EventLog>& Log() const { return m_pLog; }
  void Note(const std::string& event);
  // Writes out what the log holds and closes it, as the program ends.
  void CloseLog();

 private:
  const Services m_services;
  PasswordStore m_passwords;
  MailSettings m_settings;
  std::string m_strPath;
  std::shared_ptr<EventLog> m_pLog;
};
