#pragma once

#include <chrono>

// The longest one check may take from connect to outcome (and each recount
// on a held connection): a server that keeps every reply within its limit,
// or renegotiates again and again, must not hold the check for ever.
constexpr int kCheckCeilingMs = 5 * 60 * 1000;

// The time one conversation has left. Each wait asks it for its limit, so
// that reaching the ceiling is a time-out of the step then running; the
// time a pause holds (waiting on the user) is not counted.
class CheckBudget {
 public:
  explicit CheckBudget(int totalMs);

  // The limit for a wait that may take limitMs on its own: no more than
  // what is left, 0 once the budget is spent.
  int Limit(int limitMs) const;
  // Stops the clock until Resume.
  void Pause();
  void Resume();

 private:
  using Clock = std::chrono::steady_clock;
  Clock::time_point m_end;
  Clock::time_point m_pausedAt;
  bool m_bPaused = false;
};
