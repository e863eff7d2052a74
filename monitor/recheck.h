#pragma once

#include "check/outcome.h"

// When to check again outside the interval's schedule, counted in the frame's
// timer ticks: soon after a resume or a network change that may have mended
// the last failure, and with growing pauses after a fault that may pass on
// its own. Several reasons before a tick make one check, never a burst.
class Recheck {
 public:
  // Seconds between two ticks of the frame's timer.
  static constexpr int kTickSeconds = 10;
  // The first retry's wait; each one after it waits twice as long.
  static constexpr int kFirstRetryTicks = 3;
  // Longer than the longest interval: a regular check always comes first.
  static constexpr int kLongestRetryTicks = 120 * 60 / kTickSeconds;

  // A check starts: it does whatever was waiting.
  void Started();
  // A check's outcome, as presented: a success ends the run of failures, a
  // passing fault plans the next retry.
  void Observed(const CheckOutcome& outcome);
  // The computer woke from sleep.
  void Resumed();
  // The network's addresses changed: worth a check only after a failure to
  // reach the server.
  void NetworkChanged();
  // One tick of the timer; true when a check is due now.
  bool Tick();
  // Ticks until the planned retry, 0 when none is planned.
  int TicksToRetry() const { return m_nRetryTicks; }

 private:
  bool m_bSoon = false;
  bool m_bUnreachable = false;
  int m_nRetryTicks = 0;
  int m_nNextWait = kFirstRetryTicks;
};

// True for a failure that retrying may mend: the network or the server was
// not there in time. A rejection, an untrusted certificate or a refused STLS
// stays as it is, and retrying a rejection could lock the account.
bool MayPassOnItsOwn(CheckResult result);
