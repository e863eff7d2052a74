#pragma once

#include <chrono>
#include <map>
#include <set>
#include <vector>

#include "monitor/outbox.h"

// Outcomes that began with one trigger (start-up, a double click, /check, a
// resume, a network change, a tick) are told together: one with something
// to tell waits until every other account checked with it has its outcome,
// or until kWindow has passed, whichever comes first.
class Gathering {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;
  static constexpr std::chrono::milliseconds kWindow{2000};

  // Checks of these accounts began with one trigger.
  void Begin(const std::vector<int>& accounts);
  // An account's outcome arrived; one with something to tell is held with
  // those of its trigger. Returns what is to be told now, in the order it
  // arrived: empty while the trigger still waits for other accounts.
  std::vector<AccountOutcome> Arrive(const AccountOutcome& outcome, bool toTell, TimePoint now);
  // The outcomes whose window has passed, a group per trigger.
  std::vector<std::vector<AccountOutcome>> Due(TimePoint now);
  // True while outcomes are held.
  bool Holding() const;
  // The account is gone or given up: nobody waits for it any more.
  std::vector<std::vector<AccountOutcome>> Forget(int account);

 private:
  struct Group {
    std::set<int> pending;
    std::vector<AccountOutcome> held;
    TimePoint since;
  };
  // Takes what the trigger holds once nothing is pending for it.
  std::vector<AccountOutcome> ReleaseIfComplete(int trigger);

  std::map<int, Group> m_groups;
  // The trigger each account's running check began with.
  std::map<int, int> m_triggerOf;
  int m_nLast = 0;
};
