#pragma once

#include <memory>
#include <string>
#include <vector>

#include "log/event_log.h"
#include "monitor/account_monitor.h"
#include "monitor/sign_in_tokens.h"
#include "settings/settings_file.h"

// The monitors of the accounts, one each, in the accounts' order, and the
// Microsoft sign-ins they share.
class Roster {
 public:
  Roster(const Services& services, std::shared_ptr<Outbox> outbox);

  // Brings the monitors in line with the accounts: a monitor keeps watching
  // its account wherever it moved, one whose account is gone is stopped, and
  // a new account gets one. The seen mail of an account gone goes with it
  // unless another account checks the same mailbox, and it follows an
  // account into or out of first place; so does a sign-in.
  void Update(const MailSettings& settings, const std::string& settingsPath,
              const std::shared_ptr<EventLog>& log);
  // Keeps the sign-ins the user just made, by account id.
  void SignedIn(const std::vector<std::pair<int, TokenGrant>>& signIns);

  size_t Count() const { return m_monitors.size(); }
  AccountMonitor& At(size_t index) { return *m_monitors[index]; }
  // The place of the account with this id; Count() when there is none.
  size_t IndexOf(int id) const;
  // The accounts' names as the user sees them.
  const std::vector<std::string>& Names() const { return m_names; }
  // Gives every check up. Held connections say goodbye first, each within
  // the same short wait: the program ends within a second of Exit.
  void StopAll();
  bool AnyChecking() const;
  // One tick of the frame's timer for every account: the places of those due.
  std::vector<size_t> Tick();

  // The checks that start together, by account id, and for each account
  // that cannot be checked the outcome in place of its check.
  struct Checks {
    std::vector<int> started;
    std::vector<std::pair<size_t, AccountOutcome>> held;
  };
  // Starts the checks of the accounts at these places, each unless its
  // check is running.
  Checks Check(const std::vector<size_t>& accounts);
  // Every account's place.
  std::vector<size_t> Every() const;

 private:
  void MoveSeenMail(const std::vector<AccountSettings>& accounts, const std::string& settingsPath);

  const Services m_services;
  const std::shared_ptr<Outbox> m_pOutbox;
  const std::shared_ptr<SignInTokens> m_pTokens;
  std::vector<std::unique_ptr<AccountMonitor>> m_monitors;
  std::vector<std::string> m_names;
};
