#include "monitor/check_gate.h"

#include "check/server_address.h"
#include "settings/password_store.h"

// Without a server there is nobody to ask: a first start guides the user to
// the server options instead of failing against a name never typed. Without
// a password nothing is sent either: an empty one could only be refused. A
// user name or password the protocol cannot send would fail every check and
// every retry alike, until the user changes it.
std::optional<CheckOutcome> CheckHeldBack(const AccountSettings& account) {
  CheckOutcome held;
  if (account.server.find_first_not_of(" \t") == std::string::npos)
    held.kind = OutcomeKind::kNoServer;
  else if (PasswordNeeded(account))
    held.kind = OutcomeKind::kPasswordNeeded;
  else if (!LoginSendable(account.server, account.user, account.password))
    held.kind = OutcomeKind::kLoginUnsendable;
  else
    return std::nullopt;
  return held;
}
