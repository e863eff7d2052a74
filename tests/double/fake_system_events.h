#pragma once

#include "platform/system_events.h"

// The network watch: refused when a test says so, else where its messages go.
class FakeSystemEvents : public SystemEvents {
 public:
  bool WatchNetwork(WindowHandle window, unsigned message) override {
    networkMessage = message;
    return !refused && (watchingWindow = window);
  }
  void StopWatchingNetwork() override { watchingWindow = nullptr; }

  bool refused = false;
  WindowHandle watchingWindow = nullptr;
  unsigned networkMessage = 0;
};
