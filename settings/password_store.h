#pragma once

#include <string>

#include "settings/settings_file.h"

class Credentials;

// The name of an account's password in the user's password store: the
// program, the user name and the server text, so that two copies checking
// two accounts keep two passwords, and two checking one account share it.
std::string PasswordAccount(const MailSettings& settings);

// True when a check could only send an empty password: a server is set, but
// neither the settings file nor the password store has a password for it.
bool PasswordNeeded(const MailSettings& settings);

// Keeps the password in the user's password store rather than in line 3 of
// the settings file, and moves it there from the file of an earlier version.
class PasswordStore {
 public:
  explicit PasswordStore(Credentials& credentials) : m_credentials(credentials) {}

  // After loading: an empty line 3 is filled from the store. A password in
  // line 3 is used as it is, and moves into the store at the next save.
  void Recall(MailSettings& settings);
  // The settings as the file is to hold them: line 3 empty once the store
  // keeps the password, the password in line 3 when the store refused it.
  // The password kept for the account used before is removed once the
  // account changed, or when the password was cleared.
  MailSettings ForFile(const MailSettings& settings);

 private:
  Credentials& m_credentials;
  // The account under which the store keeps the password; empty when none.
  std::string m_strKeptFor;
};
