#include "platform/bounded_call.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

TEST(BoundedCall, AQuickCallGivesItsResult) {
  std::atomic<bool> aborted{false};
  std::string out;
  EXPECT_TRUE(RunBounded([] { return std::string("done"); }, 1000, aborted, out));
  EXPECT_EQ("done", out);
}

// A lookup that hangs must neither hold the caller beyond its limit nor
// touch the caller's result when it finally ends.
TEST(BoundedCall, AHangingCallIsLeftBehindAtTheLimitOrOnAbort) {
  std::atomic<bool> aborted{false};
  std::string out = "untouched";
  auto slow = [] {
    std::this_thread::sleep_for(milliseconds(400));
    return std::string("late");
  };
  auto started = Clock::now();
  EXPECT_FALSE(RunBounded(slow, 50, aborted, out));
  EXPECT_LT(Clock::now() - started, milliseconds(300));

  std::thread aborter([&] {
    std::this_thread::sleep_for(milliseconds(30));
    aborted = true;
  });
  started = Clock::now();
  EXPECT_FALSE(RunBounded(slow, 10000, aborted, out));
  EXPECT_LT(Clock::now() - started, milliseconds(300));
  aborter.join();
  std::this_thread::sleep_for(milliseconds(500));
  EXPECT_EQ("untouched", out);
}

}  // namespace
