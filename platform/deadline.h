#pragma once

#include <chrono>

// The end of a time limit that covers several waits in turn.
class Deadline {
 public:
  explicit Deadline(int timeoutMs)
      : m_end(std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs)) {}

  // Milliseconds left; 0 once the limit has passed.
  int MsLeft() const {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          m_end - std::chrono::steady_clock::now())
                          .count();
    return left > 0 ? static_cast<int>(left) : 0;
  }

 private:
  std::chrono::steady_clock::time_point m_end;
};
