#pragma once

#include <map>
#include <string>
#include <vector>

#include "settings/accounts.h"

class Credentials;

// The name of an account's password in the user's password store: the
// program, the user name and the server text, so that two accounts keep two
// passwords, and two copies or accounts checking one mailbox share it.
std::string PasswordTarget(const AccountSettings& account);

// True when a check could only send an empty password: a server is set that
// takes a password, but neither the settings file nor the password store
// has one for it.
bool PasswordNeeded(const AccountSettings& account);

// Keeps the passwords in the user's password store rather than in the
// settings file, and moves them there from the file of an earlier version.
class PasswordStore {
 public:
  explicit PasswordStore(Credentials& credentials) : m_credentials(credentials) {}

  // After loading: an account without a password in the file gets the one
  // the store keeps for it. A password in the file is used as it is, and
  // moves into the store at the next save.
  void Recall(std::vector<AccountSettings>& accounts);
  // The accounts as the file is to hold them: no password where the store
  // keeps it, the password where the store refused it. What the store kept
  // for an account that is gone, or for what an account named before it
  // changed or cleared its password, is removed, unless another account
  // still uses it. An account that signs in with Microsoft keeps its token
  // under the same name: its password is neither kept nor written, and what
  // is kept under its name is left to the sign-in.
  std::vector<AccountSettings> ForFile(const std::vector<AccountSettings>& accounts);

 private:
  Credentials& m_credentials;
  // The target the store keeps each account's password under, by account id.
  std::map<int, std::string> m_keptFor;
};
