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

}  // namespace

std::optional<ChangedSettings> ChangeServerOptions(Platform& platform,
                                                   const MailSettings& settings) {
  std::vector<AccountSettings> accounts = AllAccounts(settings);
  const AccountSettings before = accounts.front();
  const std::optional<AccountSettings> edited = EditServerOptions(platform, before, std::string());
  if (!edited) return std::nullopt;
  accounts.front() = *edited;
  ForgetLoginFormOnChange(before, accounts.front());
  ChangedSettings changed{settings, {}, {}};
  SetAccounts(changed.settings, accounts);
  if (CheckHeldBack(before)) changed.toCheck.push_back(0);
  return changed;
}

std::optional<ChangedSettings> ChangeAccounts(Platform& platform, const MailSettings& settings,
                                              const std::vector<std::string>& states) {
  const std::vector<AccountSettings> before = AllAccounts(settings);
  std::optional<std::vector<AccountSettings>> edited = EditAccounts(platform, before, states);
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
  SetAccounts(changed.settings, *edited);
  return changed;
}
