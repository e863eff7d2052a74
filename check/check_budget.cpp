#include "check/check_budget.h"

#include <algorithm>

CheckBudget::CheckBudget(int totalMs) : m_end(Clock::now() + std::chrono::milliseconds(totalMs)) {}

int CheckBudget::Limit(int limitMs) const {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        m_end - (m_bPaused ? m_pausedAt : Clock::now()))
                        .count();
  return static_cast<int>(std::clamp<long long>(left, 0, limitMs));
}

void CheckBudget::Pause() {
  if (m_bPaused) return;
  m_bPaused = true;
  m_pausedAt = Clock::now();
}

void CheckBudget::Resume() {
  if (!m_bPaused) return;
  m_bPaused = false;
  m_end += Clock::now() - m_pausedAt;
}
