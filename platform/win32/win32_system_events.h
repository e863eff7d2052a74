#pragma once

#include "platform/system_events.h"

// The network's addresses watched through the IP helper's notifications,
// which arrive on a thread of the system's and are posted on to the window.
class Win32SystemEvents : public SystemEvents {
 public:
  bool WatchNetwork(WindowHandle window, unsigned message) override;
  void StopWatchingNetwork() override;

 private:
  // Windows' own handle type stays out of this header, whose includer may
  // not have the sockets' declarations first.
  void* m_hNotification = nullptr;
};
