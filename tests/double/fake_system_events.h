#pragma once

#include "platform/system_events.h"

// The network watch as a test sets it up: whether the system refuses it, and
// where its messages were to go.
class FakeSystemEvents : public SystemEvents {
 public:
  bool WatchNetwork(WindowHandle window, unsigned message) override {
    if (refused) return false;
    watchingWindow = window;
    networkMessage = message;
    return true;
  }
  void StopWatchingNetwork() override { watchingWindow = nullptr; }

  bool refused = false;
  WindowHandle watchingWindow = nullptr;
  unsigned networkMessage = 0;
};
