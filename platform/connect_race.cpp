#include "platform/connect_race.h"

#include <algorithm>
#include <vector>

ConnectResult RaceConnects(ConnectAttempts& attempts, size_t count, const Deadline& deadline,
                           const std::atomic<bool>& aborted, size_t& winner) {
  std::vector<size_t> running;
  bool anySocket = false;
  size_t next = 0;
  // The time left when the next address is due.
  int nextDueAt = deadline.MsLeft();
  while (!aborted) {
    const int left = deadline.MsLeft();
    if (left == 0) break;
    if (next < count && (running.empty() || left <= nextDueAt)) {
      if (attempts.Begin(next)) {
        anySocket = true;
        running.push_back(next);
      }
      ++next;
      nextDueAt = left - kAttemptDelayMs;
      continue;
    }
    if (running.empty()) break;
    const int wait = next < count ? std::max(left - nextDueAt, 1) : left;
    size_t ended = 0;
    bool connected = false;
    if (!attempts.WaitForOne(std::min(wait, left), ended, connected)) continue;
    running.erase(std::remove(running.begin(), running.end(), ended), running.end());
    if (connected && !aborted) {
      for (size_t other : running) attempts.Drop(other);
      winner = ended;
      return ConnectResult::kConnected;
    }
    attempts.Drop(ended);
    // A refused address does not hold up the next one.
    nextDueAt = left;
  }
  for (size_t other : running) attempts.Drop(other);
  return anySocket || next < count ? ConnectResult::kFailed : ConnectResult::kNoSocket;
}
