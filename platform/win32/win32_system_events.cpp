#include "platform/win32/win32_system_events.h"

// The IP helper's address notifications are declared only after the
// sockets' declarations, and those must come before the rest of Windows'.
// clang-format off
#include <winsock2.h>
#include <ws2ipdef.h>
#include <iphlpapi.h>
#include <netioapi.h>
// clang-format on

#include "platform/win_constants.h"

static_assert(win::kWmPowerBroadcast == WM_POWERBROADCAST &&
                  win::kPbtApmResumeSuspend == PBT_APMRESUMESUSPEND &&
                  win::kPbtApmResumeAutomatic == PBT_APMRESUMEAUTOMATIC,
              "power broadcasts");

namespace {

// Runs on a thread of the system's: it only posts, which any thread may.
void WINAPI OnAddressChange(void* context, MIB_UNICASTIPADDRESS_ROW*, MIB_NOTIFICATION_TYPE type) {
  if (type != MibAddInstance) return;
  const auto* events = static_cast<const Win32SystemEvents*>(context);
  PostMessageW(static_cast<HWND>(events->m_hWindow), events->m_nMessage, 0, 0);
}

}  // namespace

Win32SystemEvents::~Win32SystemEvents() { StopWatchingNetwork(); }

bool Win32SystemEvents::WatchNetwork(WindowHandle window, unsigned message) {
  StopWatchingNetwork();
  m_hWindow = window;
  m_nMessage = message;
  HANDLE notification = nullptr;
  if (NotifyUnicastIpAddressChange(AF_UNSPEC, OnAddressChange, this, FALSE, &notification) !=
      NO_ERROR)
    return false;
  m_hNotification = notification;
  return true;
}

// Cancelling waits for a notification already running to return.
void Win32SystemEvents::StopWatchingNetwork() {
  if (!m_hNotification) return;
  CancelMibChangeNotify2(m_hNotification);
  m_hNotification = nullptr;
}
