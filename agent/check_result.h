#pragma once

// The outcome of one mail check: 0 when the conversation ran to its end,
// otherwise the step that failed.
using CheckResult = int;

enum : CheckResult {
  kCheckCompleted = 0,
  kCheckSocketsStartFailed = 1,
  kCheckSocketFailed = 2,
  kCheckResolveFailed = 3,
  kCheckConnectFailed = 4,
  kCheckUserFailed = 5,
  kCheckPassFailed = 6,
  kCheckPassRejected = 7,
  kCheckQuitFailed = 8,
  kCheckCloseFailed = 9,
  kCheckCleanupFailed = 10,
  kCheckStatFailed = 11,
  kCheckStatRejected = 12,
};
