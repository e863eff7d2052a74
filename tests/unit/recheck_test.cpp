#include "monitor/recheck.h"

#include <gtest/gtest.h>

#include <vector>

#include "check/pop3/pop3_check.h"

namespace {

// The ticks, out of 100, at which a retry was due, each retry failing alike.
std::vector<int> DueTicks(CheckResult result) {
  Recheck recheck;
  std::vector<int> due;
  for (int tick = 0; tick <= 100; ++tick) {
    if (tick > 0 && !recheck.Tick()) continue;
    if (tick > 0) due.push_back(tick);
    recheck.Started();
    recheck.Observed(FailedAt(result));
  }
  return due;
}

TEST(RecheckTest, PassingFaultsAreRetriedAfter30s1m2m4mCappedAndASuccessStartsAfresh) {
  const std::vector<int> doubling = {3, 9, 21, 45, 93};
  for (CheckResult passing : {kCheckResolveFailed, kCheckConnectFailed, kCheckSecureFailed,
                              kCheckUserFailed, kCheckPassFailed, kCheckStatFailed})
    EXPECT_EQ(doubling, DueTicks(passing)) << passing;
  for (CheckResult lasting :
       {kCheckPassRejected, kCheckUntrusted, kCheckStlsRefused, kCheckStatRejected,
        kCheckTokenRefused, kCheckTokenNotAllowed})
    EXPECT_EQ(std::vector<int>(), DueTicks(lasting)) << lasting;

  // What the server's words advise is not retried, nor checked again at a network change.
  Recheck advised;
  CheckOutcome icloud = FailedAt(kCheckResolveFailed);
  icloud.advice = Advice::kImapOnly;
  advised.Observed(icloud);
  advised.NetworkChanged();
  EXPECT_EQ(0, advised.TicksToRetry());
  EXPECT_FALSE(advised.Tick());

  Recheck recheck;
  for (int i = 0; i < 12; ++i) recheck.Observed(FailedAt(kCheckConnectFailed));
  EXPECT_EQ(Recheck::kLongestRetryTicks, recheck.TicksToRetry());
  CheckOutcome counted;
  counted.kind = OutcomeKind::kMailboxCount;
  recheck.Started();
  recheck.Observed(counted);
  recheck.Observed(FailedAt(kCheckConnectFailed));
  EXPECT_EQ(Recheck::kFirstRetryTicks, recheck.TicksToRetry());

  Recheck resumed;
  resumed.Resumed();
  EXPECT_TRUE(resumed.Tick());
  EXPECT_FALSE(resumed.Tick()) << "a check running at the tick stood for the one due";
}

}  // namespace
