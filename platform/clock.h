#pragma once

#include <string>

// The time of day. May be used from any thread.
class Clock {
 public:
  virtual ~Clock() = default;
  // The local date and time to the second, as "2026-12-07 15:04:49".
  virtual std::string LocalTimeText() = 0;
};
