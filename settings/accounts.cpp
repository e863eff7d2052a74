#include "settings/accounts.h"

#include <cctype>

#include "check/decimal.h"
#include "check/seen_mail.h"
#include "check/server_address.h"
#include "check/signin/microsoft.h"

namespace {

std::string Lowered(const std::string& text) {
  std::string lowered = text;
  for (char& c : lowered) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lowered;
}

std::string Hex16(uint64_t value) {
  std::string text(16, '0');
  for (size_t i = 16; i-- > 0; value >>= 4) text[i] = "0123456789abcdef"[value & 0xF];
  return text;
}

}  // namespace

const char kSignInMicrosoft[] = "Microsoft";

bool SignsInWithMicrosoft(const AccountSettings& account) {
  return account.signIn == kSignInMicrosoft;
}

void MarkSignIn(std::vector<AccountSettings>& accounts, const std::vector<std::string>& hosts) {
  for (AccountSettings& account : accounts)
    account.signIn = TokenMayGoTo(account.server, hosts) ? kSignInMicrosoft : "";
}

int IntervalFrom(const std::string& text) {
  const int minutes = ParseDecimal(text);
  return minutes < kMinimumInterval   ? kMinimumInterval
         : minutes > kMaximumInterval ? kMaximumInterval
                                      : minutes;
}

std::string UserAtHost(const AccountSettings& account) {
  ServerAddress address;
  const std::string host = ParseServerAddress(account.server, address) ? address.host : account.server;
  return account.user + "@" + host;
}

std::vector<std::string> DisplayNames(const std::vector<AccountSettings>& accounts) {
  std::vector<std::string> names;
  std::vector<std::string> taken;
  for (const AccountSettings& account : accounts) {
    const std::string key = Lowered(account.name);
    bool free = !key.empty();
    for (const std::string& other : taken) free = free && other != key;
    if (free) taken.push_back(key);
    names.push_back(free ? account.name : UserAtHost(account));
  }
  return names;
}

bool SameMailbox(const AccountSettings& a, const AccountSettings& b) {
  return a.server == b.server && a.user == b.user;
}

std::string SeenMailPathOf(const std::string& settingsPath, const AccountSettings& account,
                           bool first) {
  const size_t slash = settingsPath.find_last_of("\\/");
  const size_t dot = settingsPath.rfind('.');
  const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  const std::string stem = hasExtension ? settingsPath.substr(0, dot) : settingsPath;
  if (first) return stem + ".seen";
  return stem + "." + Hex16(AccountHash(account.server, account.user)) + ".seen";
}
