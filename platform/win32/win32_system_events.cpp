#include "platform/win32/win32_system_events.h"

// The IP helper's address notifications are declared only after the
// sockets' declarations, and those must come before the rest of Windows'.
// clang-format off
#include <winsock2.h>
#include <ws2ipdef.h>
#include <iphlpapi.h>
#include <netioapi.h>
// clang-format on

#include <atomic>

#include "platform/win_constants.h"

static_assert(win::kWmPowerBroadcast == WM_POWERBROADCAST &&
                  win::kPbtApmResumeSuspend == PBT_APMRESUMESUSPEND &&
                  win::kPbtApmResumeAutomatic == PBT_APMRESUMEAUTOMATIC,
              "power broadcasts");

namespace {

// Where the system's thread posts: it lives as long as the process, so a
// notification arriving while the program ends finds no window rather than
// freed memory.
std::atomic<HWND> g_window{nullptr};
std::atomic<UINT> g_message{0};

void WINAPI OnAddressChange(void*, MIB_UNICASTIPADDRESS_ROW*, MIB_NOTIFICATION_TYPE type) {
  const HWND window = g_window.load();
  if (type == MibAddInstance && window) PostMessageW(window, g_message.load(), 0, 0);
}

}  // namespace

bool Win32SystemEvents::WatchNetwork(WindowHandle window, unsigned message) {
  g_message = message;
  g_window = static_cast<HWND>(window);
  if (m_hNotification) return true;
  HANDLE notification = nullptr;
  if (NotifyUnicastIpAddressChange(AF_UNSPEC, OnAddressChange, nullptr, FALSE, &notification) !=
      NO_ERROR)
    return false;
  m_hNotification = notification;
  return true;
}

// The registration itself ends with the process: cancelling it waits for the
// system's notification thread, which on some systems takes seconds and
// would hold up the end of the program.
void Win32SystemEvents::StopWatchingNetwork() { g_window = nullptr; }
