#include "agent/settings_exchange.h"

#include <algorithm>

#include "dialogs/accounts_dlg.h"
#include "dialogs/server_options_dlg.h"
#include "monitor/check_gate.h"
#include "monitor/login_account.h"

namespace {

bool SameLogIn(const AccountSettings& a, const AccountSettings& b) {
  return a.server == b.server && a.user == b.user && a.password == b.password;
}

// Puts the accounts into the settings, marked as their server text says;
// the sign-ins made for accounts that sign in with Microsoft go apart, to
// be kept, and those accounts are checked.
void Settle(std::vector<AccountSettings> accounts, ChangedSettings& changed) {
  MarkSignIn(accounts, SignInSetup(changed.settings).hosts);
  for (size_t i = 0; i < accounts.size(); ++i) {
    AccountSettings& account = accounts[i];
    if (account.signedIn && SignsInWithMicrosoft(account)) {
      changed.signIns.emplace_back(account.id, *account.signedIn);
      if (std::find(changed.toCheck.begin(), changed.toCheck.end(), i) == changed.toCheck.end())
        changed.toCheck.push_back(i);
    }
    account.signedIn.reset();
  }
  SetAccounts(changed.settings, accounts);
}

}  // namespace

std::optional<ChangedSettings> ChangeServerOptions(Platform& platform,
                                                   const MailSettings& settings) {
  std::vector<AccountSettings> accounts = AllAccounts(settings);
  const AccountSettings before = accounts.front();
  const std::optional<AccountSettings> edited =
      EditServerOptions(platform, before, std::string(), SignInSetup(settings));
  if (!edited) return std::nullopt;
  accounts.front() = *edited;
  ForgetLoginFormOnChange(before, accounts.front());
  ChangedSettings changed{settings, {}, {}};
  if (CheckHeldBack(before)) changed.toCheck.push_back(0);
  Settle(accounts, changed);
  return changed;
}

std::optional<ChangedSettings> ChangeAccounts(Platform& platform, const MailSettings& settings,
                                              const std::vector<std::string>& states) {
  const std::vector<AccountSettings> before = AllAccounts(settings);
  std::optional<std::vector<AccountSettings>> edited =
      EditAccounts(platform, before, states, SignInSetup(settings));
  if (!edited) return std::nullopt;
  ChangedSettings changed{settings, {}, {}};
  for (size_t i = 0; i < edited->size(); ++i) {
    AccountSettings& account = (*edited)[i];
    const auto old = std::find_if(before.begin(), before.end(),
                                  [&account](const auto& a) { return a.id == account.id; });
    if (old != before.end()) ForgetLoginFormOnChange(*old, account);
    if (old == before.end() || !SameLogIn(*old, account)) changed.toCheck.push_back(i);
  }
  if (!edited->front().unknownKeys.empty())
    changed.note = "keys of a later version are dropped from the account now first";
  Settle(*edited, changed);
  return changed;
}
