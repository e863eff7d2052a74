#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/connect_race.h"
#include "platform/posix/posix_transport.h"
#include "tests/support/unanswering_listener.h"

namespace {

using Clock = std::chrono::steady_clock;

int MsSince(Clock::time_point start) {
  return static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

constexpr int kNever = -1;
constexpr int kNoSocket = -2;

// Addresses that answer after a set time, connecting or refusing; the race
// runs on the real clock.
class ScriptedAttempts : public ConnectAttempts {
 public:
  struct Address {
    int answersAfterMs;  // kNever, or kNoSocket when no socket can be made
    bool connects;
  };
  explicit ScriptedAttempts(std::vector<Address> addresses)
      : m_addresses(std::move(addresses)), m_begunAt(m_addresses.size(), kNever) {}

  bool Begin(size_t index) override {
    if (m_addresses[index].answersAfterMs == kNoSocket) return false;
    m_begunAt[index] = MsSince(m_start);
    m_running.push_back(index);
    return true;
  }
  bool WaitForOne(int timeoutMs, size_t& index, bool& connected) override {
    const int now = MsSince(m_start);
    int soonest = now + timeoutMs;
    bool found = false;
    for (size_t i : m_running) {
      if (m_addresses[i].answersAfterMs == kNever) continue;
      const int at = m_begunAt[i] + m_addresses[i].answersAfterMs;
      if (at <= soonest) {
        soonest = at;
        index = i;
        found = true;
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(std::max(soonest - now, 0)));
    if (found) connected = m_addresses[index].connects;
    return found;
  }
  void Drop(size_t index) override {
    m_running.erase(std::remove(m_running.begin(), m_running.end(), index), m_running.end());
    dropped.push_back(index);
  }

  const std::vector<int>& BegunAt() const { return m_begunAt; }
  std::vector<size_t> dropped;

 private:
  const Clock::time_point m_start = Clock::now();
  std::vector<Address> m_addresses;
  std::vector<int> m_begunAt;
  std::vector<size_t> m_running;
};

TEST(ConnectRace, NextAddressAfterAQuarterSecondOrAtOnceWhenRefusedFirstToConnectWins) {
  constexpr int kLimitMs = 1000;
  constexpr int kSlackMs = 120;
  const struct {
    const char* what;
    std::vector<ScriptedAttempts::Address> addresses;
    ConnectResult result;
    size_t winner;
    std::vector<int> begunAt;  // kNever for an address not begun
    int endsAtMs;
  } cases[] = {
      {"one that connects", {{0, true}}, ConnectResult::kConnected, 0, {0}, 0},
      {"silent, then one that connects",
       {{kNever, false}, {0, true}}, ConnectResult::kConnected, 1, {0, 250}, 250},
      {"refused, then one that connects",
       {{0, false}, {0, true}}, ConnectResult::kConnected, 1, {0, 0}, 0},
      {"silent, refused while it waits, then one that connects at once",
       {{kNever, false}, {100, false}, {0, true}}, ConnectResult::kConnected, 2, {0, 250, 350},
       350},
      {"slow but first",
       {{400, true}, {kNever, false}}, ConnectResult::kConnected, 0, {0, 250}, 400},
      {"four dead in one limit",
       {{kNever, false}, {kNever, false}, {kNever, false}, {kNever, false}},
       ConnectResult::kFailed, 0, {0, 250, 500, 750}, kLimitMs},
      {"no socket at all", {{kNoSocket, false}, {kNoSocket, false}}, ConnectResult::kNoSocket, 0,
       {kNever, kNever}, 0},
      {"no socket, then one that connects",
       {{kNoSocket, false}, {0, true}}, ConnectResult::kConnected, 1, {kNever, 0}, 0},
  };
  for (const auto& c : cases) {
    ScriptedAttempts attempts(c.addresses);
    const std::atomic<bool> aborted{false};
    size_t winner = 99;
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(c.result, RaceConnects(attempts, c.addresses.size(), Deadline(kLimitMs), aborted,
                                     winner))
        << c.what;
    EXPECT_NEAR(c.endsAtMs, MsSince(start), kSlackMs) << c.what;
    for (size_t i = 0; i < c.begunAt.size(); ++i)
      EXPECT_NEAR(c.begunAt[i], attempts.BegunAt()[i], c.begunAt[i] == kNever ? 0 : kSlackMs)
          << c.what << ", address " << i;
    if (c.result == ConnectResult::kConnected) {
      EXPECT_EQ(c.winner, winner) << c.what;
      EXPECT_EQ(0, std::count(attempts.dropped.begin(), attempts.dropped.end(), winner)) << c.what;
    }
    const size_t begun = static_cast<size_t>(
        c.begunAt.size() - std::count(c.begunAt.begin(), c.begunAt.end(), kNever));
    EXPECT_EQ(begun - (c.result == ConnectResult::kConnected ? 1 : 0), attempts.dropped.size())
        << c.what << ": every other attempt is closed";
  }
}

// A connect that is never answered is cut by Abort from another thread.
TEST(SocketTransport, AbortEndsAConnectThatNeverCompletes) {
  const UnansweringListener dead("127.0.0.1", 0);
  ASSERT_TRUE(dead.Full());
  const std::unique_ptr<Transport> transport = CreatePosixTransport();
  ASSERT_TRUE(transport->Startup());
  ASSERT_TRUE(transport->Resolve("127.0.0.1", dead.Port(), 1000));
  Clock::time_point aborted;
  std::thread exit([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    aborted = Clock::now();
    transport->Abort();
  });
  EXPECT_EQ(ConnectResult::kFailed, transport->Connect(30000));
  const Clock::time_point ended = Clock::now();
  exit.join();
  EXPECT_LT(ended - aborted, std::chrono::milliseconds(100));
}

}  // namespace
