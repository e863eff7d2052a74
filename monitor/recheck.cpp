#include "monitor/recheck.h"

#include <algorithm>

bool MayPassOnItsOwn(CheckResult result) {
  switch (result) {
    case kCheckSocketFailed:
    case kCheckResolveFailed:
    case kCheckConnectFailed:
    case kCheckSecureFailed:
    case kCheckUserFailed:
    case kCheckPassFailed:
    case kCheckStatFailed:
    case kCheckRenewFailed:
    case kCheckLoginFailed:
    case kCheckMailboxFailed:
      return true;
    default:
      return false;
  }
}

void Recheck::Started() {
  m_bSoon = false;
  m_nRetryTicks = 0;
}

void Recheck::Observed(const CheckOutcome& outcome) {
  switch (outcome.kind) {
    case OutcomeKind::kMailboxCount:
      m_bUnreachable = false;
      m_nNextWait = kFirstRetryTicks;
      return;
    case OutcomeKind::kEnded:
      return;
    default:
      break;
  }
  // What the server's words advise is not mended by asking again.
  const bool advised = outcome.advice != Advice::kNone;
  m_bUnreachable = !advised && (outcome.result == kCheckResolveFailed ||
                                outcome.result == kCheckConnectFailed);
  if (advised || !MayPassOnItsOwn(outcome.result)) return;
  m_nRetryTicks = m_nNextWait;
  m_nNextWait = std::min(m_nNextWait * 2, kLongestRetryTicks);
}

void Recheck::Resumed() { m_bSoon = true; }

void Recheck::NetworkChanged() {
  if (m_bUnreachable) m_bSoon = true;
}

// What is due is taken by this tick: a check already running when it comes
// stands for it, and no second one follows.
bool Recheck::Tick() {
  const bool retryDue = m_nRetryTicks > 0 && --m_nRetryTicks == 0;
  const bool soon = m_bSoon;
  m_bSoon = false;
  return retryDue || soon;
}
