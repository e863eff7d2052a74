#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "check/account.h"
#include "check/signin/token_endpoint.h"

// At most this many accounts are watched, the first included.
constexpr size_t kMaxAccounts = 20;

// Minutes between checks: within these bounds after loading, and kept there
// by the server options dialog.
constexpr int kMinimumInterval = 5;
constexpr int kMaximumInterval = 120;

// One account as the settings file holds it: the first account in its
// eleven lines and the keys beside them, each further one in a group of
// key=value lines of its own.
struct AccountSettings {
  // The name as written; the user sees USER@HOST where it is empty or taken.
  std::string name;
  std::string server;
  std::string user;
  std::string password;
  int interval = kMinimumInterval;
  LoginForm loginForm = LoginForm::kUnknown;
  // Off: the account is checked at its interval even where it could be pushed.
  bool push = true;
  // How the account signs in where not with a password ("Microsoft").
  std::string signIn;
  // The keys of a group this version does not know, kept for a later one.
  std::vector<std::pair<std::string, std::string>> unknownKeys;
  // Stands for the account while the program runs, whatever its place.
  int id = 0;
  // A sign-in the server options dialog just made, on its way to be kept:
  // never part of the settings.
  std::optional<TokenGrant> signedIn = {};
};

// What signIn holds for an account that signs in with Microsoft.
extern const char kSignInMicrosoft[];

// True for an account that signs in with Microsoft instead of a password.
bool SignsInWithMicrosoft(const AccountSettings& account);

// Marks the accounts whose server text names one of hosts over TLS as
// signing in with Microsoft, and clears the mark of every other.
void MarkSignIn(std::vector<AccountSettings>& accounts, const std::vector<std::string>& hosts);

// The interval a settings line names: a decimal number held within the bounds.
int IntervalFrom(const std::string& text);

// USER@HOST, the host as the server text names it.
std::string UserAtHost(const AccountSettings& account);

// The names the user sees for the accounts, in order: each one's own unless
// it is empty or an earlier account's (letter case aside), else USER@HOST.
std::vector<std::string> DisplayNames(const std::vector<AccountSettings>& accounts);

// True when two accounts log in to the same mailbox: one password, one
// record of seen mail.
bool SameMailbox(const AccountSettings& a, const AccountSettings& b);

// The seen-mail file of the account at position index among them: the
// first account's beside the settings file as earlier versions kept it, each
// further one's named after its server text and user name.
std::string SeenMailPathOf(const std::string& settingsPath, const AccountSettings& account,
                           bool first);
