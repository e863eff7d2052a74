#pragma once

#include <memory>
#include <optional>
#include <string>

#include "log/event_log.h"
#include "monitor/account_memory.h"
#include "monitor/check_run.h"
#include "monitor/outbox.h"
#include "monitor/recheck.h"
#include "platform/services.h"
#include "settings/accounts.h"

// Watches one account over time: its schedule counted in the frame's ticks,
// its retries and rechecks, the life of its check on a thread of its own,
// and what was told of it. The frame drives it and presents what it hands
// over; it never reaches into the frame.
class AccountMonitor {
 public:
  // Seconds between two ticks of the frame's timer; six make a minute.
  static constexpr int kTicksPerMinute = 6;

  AccountMonitor(const Services& services, std::shared_ptr<Outbox> outbox,
                 std::shared_ptr<SignInTokens> tokens);
  ~AccountMonitor();
  AccountMonitor(const AccountMonitor&) = delete;
  AccountMonitor& operator=(const AccountMonitor&) = delete;

  // The account as the settings hold it now, where its seen mail is kept,
  // and the log its lines go to; a check running goes on as it started. New
  // server options let a password be sent again.
  void SetAccount(const AccountSettings& account, const std::string& seenPath,
                  std::shared_ptr<EventLog> log);
  const AccountSettings& Account() const { return m_account; }

  // Starts a check unless one is running. When none can start at all, the
  // outcome to present in its place.
  std::optional<CheckOutcome> Check();
  // One tick of the frame's timer; true when a check of this account is due.
  bool Tick();
  // The computer woke from sleep, or a network address came up.
  void Resumed();
  void NetworkChanged();

  // Takes an outcome from the outbox: true when it is this account's
  // current check's and is to be presented.
  bool Take(const AccountOutcome& outcome);
  // The outcome handed over was shown: its conversation may end.
  void Presented();
  // Gives a running check up; with a deadline, waits until then at most for
  // a held connection to say goodbye.
  void Stop(std::chrono::steady_clock::time_point deadline = {});
  // True while a check runs or waits on its presentation; an account whose
  // connection is held waits for its server between counts, not checking.
  bool IsChecking() const;

  // What was told of the account, for its next outcome.
  AccountMemory memory;
  // Minutes and ticks counted towards the next scheduled check.
  int m_nTicks = 0;
  int m_nMinutes = 0;
  // How long a held connection waits in IDLE before it renews it.
  int m_nRenewalMs = ImapTimes().renewalMs;

 private:
  // The check of an account that signs in with Microsoft, or the outcome to
  // present in its place.
  std::optional<CheckOutcome> PrepareSignIn(CheckJob& job);

  const Services m_services;
  const std::shared_ptr<Outbox> m_pOutbox;
  const std::shared_ptr<SignInTokens> m_pTokens;
  // The server said it takes no password at all.
  bool m_bPasswordsRefused = false;
  AccountSettings m_account;
  std::string m_strSeenPath;
  std::shared_ptr<EventLog> m_pLog;
  Recheck m_recheck;
  std::shared_ptr<CheckRun> m_pRun;
  int m_nRun = 0;
  // Its connection is held and nothing was asked of it since its last count.
  bool m_bHeld = false;
};
