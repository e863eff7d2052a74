#include "settings/password_store.h"

#include <algorithm>

#include "platform/credentials.h"

std::string PasswordTarget(const AccountSettings& account) {
  return "Tarvik:" + account.user + "@" + account.server;
}

bool PasswordNeeded(const AccountSettings& account) {
  return !account.server.empty() && account.password.empty() && !SignsInWithMicrosoft(account);
}

void PasswordStore::Recall(std::vector<AccountSettings>& accounts) {
  for (AccountSettings& account : accounts) {
    if (!account.password.empty() || SignsInWithMicrosoft(account)) continue;
    const std::string target = PasswordTarget(account);
    if (m_credentials.Find(target, account.password)) m_keptFor[account.id] = target;
  }
}

std::vector<AccountSettings> PasswordStore::ForFile(const std::vector<AccountSettings>& accounts) {
  std::vector<AccountSettings> forFile = accounts;
  std::map<int, std::string> kept;
  std::vector<std::string> tokens;
  for (AccountSettings& account : forFile) {
    const std::string target = PasswordTarget(account);
    if (SignsInWithMicrosoft(account)) {
      tokens.push_back(target);
      account.password.clear();
      continue;
    }
    if (account.password.empty()) continue;
    if (!m_credentials.Remember(target, account.password)) continue;
    kept[account.id] = target;
    account.password.clear();
  }
  const auto stillUsed = [&kept, &tokens](const std::string& target) {
    return std::any_of(kept.begin(), kept.end(),
                       [&target](const auto& entry) { return entry.second == target; }) ||
           std::find(tokens.begin(), tokens.end(), target) != tokens.end();
  };
  for (const auto& [id, target] : m_keptFor)
    if (!stillUsed(target)) m_credentials.Forget(target);
  m_keptFor = kept;
  return forFile;
}
