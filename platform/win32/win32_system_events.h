#pragma once

#include "platform/system_events.h"

// The network's addresses watched through the IP helper's notifications,
// which arrive on a thread of the system's and are posted on to the window.
class Win32SystemEvents : public SystemEvents {
 public:
  Win32SystemEvents() = default;
  ~Win32SystemEvents() override;
  Win32SystemEvents(const Win32SystemEvents&) = delete;
  Win32SystemEvents& operator=(const Win32SystemEvents&) = delete;

  bool WatchNetwork(WindowHandle window, unsigned message) override;
  void StopWatchingNetwork() override;

  // Read by the system's thread. Windows' own types stay out of this header,
  // whose includer may not have the sockets' declarations first.
  WindowHandle m_hWindow = nullptr;
  unsigned m_nMessage = 0;

 private:
  void* m_hNotification = nullptr;
};
