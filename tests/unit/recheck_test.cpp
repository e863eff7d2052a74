#include "agent/recheck.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "agent/mail_check.h"

namespace {

CheckOutcome Counted() {
  CheckOutcome outcome;
  outcome.kind = OutcomeKind::kMailboxCount;
  return outcome;
}

// Ticks at which a check was due, over count ticks, each due check starting
// and failing with result again.
std::vector<int> DueTicks(Recheck& recheck, int count, CheckResult result) {
  std::vector<int> due;
  for (int tick = 1; tick <= count; ++tick) {
    if (!recheck.Tick()) continue;
    due.push_back(tick);
    recheck.Started();
    recheck.Observed(FailedAt(result));
  }
  return due;
}

TEST(RecheckTest, PassingFaultsAreRetriedAfter30s1m2m4mAndSoOnRejectionsNever) {
  const struct {
    CheckResult result;
    std::vector<int> due;
  } cases[] = {
      {kCheckResolveFailed, {3, 9, 21, 45, 93}},
      {kCheckConnectFailed, {3, 9, 21, 45, 93}},
      {kCheckSecureFailed, {3, 9, 21, 45, 93}},
      {kCheckPassFailed, {3, 9, 21, 45, 93}},
      {kCheckStatFailed, {3, 9, 21, 45, 93}},
      {kCheckPassRejected, {}},
      {kCheckUntrusted, {}},
      {kCheckStlsRefused, {}},
      {kCheckStatRejected, {}},
      {kCheckCloseFailed, {}},
  };
  for (const auto& c : cases) {
    Recheck recheck;
    recheck.Started();
    recheck.Observed(FailedAt(c.result));
    EXPECT_EQ(c.due, DueTicks(recheck, 100, c.result)) << c.result;
  }
}

TEST(RecheckTest, TheWaitStopsGrowingAndASuccessStartsTheRunAfresh) {
  Recheck recheck;
  for (int i = 0; i < 12; ++i) {
    recheck.Started();
    recheck.Observed(FailedAt(kCheckConnectFailed));
  }
  EXPECT_EQ(Recheck::kLongestRetryTicks, recheck.TicksToRetry());
  recheck.Started();
  recheck.Observed(Counted());
  EXPECT_EQ(0, recheck.TicksToRetry());
  recheck.Observed(FailedAt(kCheckConnectFailed));
  EXPECT_EQ(Recheck::kFirstRetryTicks, recheck.TicksToRetry());
}

TEST(RecheckTest, AResumeChecksAtTheNextTickANetworkChangeOnlyAfterFailingToReach) {
  const struct {
    const char* name;
    std::vector<CheckOutcome> before;
    bool networkChecks;
  } cases[] = {
      {"first start", {}, false},
      {"good check", {Counted()}, false},
      {"resolve failed", {FailedAt(kCheckResolveFailed)}, true},
      {"connect failed", {FailedAt(kCheckConnectFailed)}, true},
      {"reached later", {FailedAt(kCheckConnectFailed), Counted()}, false},
      {"password rejected", {FailedAt(kCheckPassRejected)}, false},
      {"time-out", {FailedAt(kCheckStatFailed)}, false},
  };
  for (const auto& c : cases) {
    for (const bool resume : {true, false}) {
      Recheck recheck;
      for (const CheckOutcome& outcome : c.before) {
        recheck.Started();
        recheck.Observed(outcome);
      }
      recheck.Started();  // any retry is out of the way
      for (int burst = 0; burst < 3; ++burst) resume ? recheck.Resumed() : recheck.NetworkChanged();
      const bool expected = resume || c.networkChecks;
      EXPECT_EQ(expected, recheck.Tick()) << c.name << resume;
      EXPECT_FALSE(recheck.Tick()) << c.name << resume << ": a burst makes one check";
    }
  }
}

}  // namespace
