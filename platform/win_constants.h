#pragma once

// The Windows message numbers the UI kit decodes into its typed handlers,
// and the tests send as the system would, spelled out so that they need no
// Windows headers. The Win32 layer checks every one against those headers
// when it is compiled, so the two can never drift apart.
#include <cstdint>

namespace win {

constexpr unsigned kWmCreate = 0x0001;
constexpr unsigned kWmDestroy = 0x0002;
constexpr unsigned kWmPaint = 0x000F;
constexpr unsigned kWmClose = 0x0010;
constexpr unsigned kWmQueryEndSession = 0x0011;
constexpr unsigned kWmEndSession = 0x0016;
constexpr unsigned kWmQueryDragIcon = 0x0037;
constexpr unsigned kWmInitDialog = 0x0110;
constexpr unsigned kWmCommand = 0x0111;
constexpr unsigned kWmSysCommand = 0x0112;
constexpr unsigned kWmTimer = 0x0113;
constexpr unsigned kWmPowerBroadcast = 0x0218;
constexpr unsigned kWmMouseMove = 0x0200;
constexpr unsigned kWmLButtonDown = 0x0201;
constexpr unsigned kWmLButtonUp = 0x0202;
constexpr unsigned kWmLButtonDblClk = 0x0203;
constexpr unsigned kWmRButtonDown = 0x0204;
constexpr unsigned kWmRButtonUp = 0x0205;
// The tray event of a click on the icon's balloon.
constexpr unsigned kNinBalloonUserClick = 0x0405;

constexpr unsigned kScMinimize = 0xF020;

constexpr uintptr_t kPbtApmResumeSuspend = 0x0007;
constexpr uintptr_t kPbtApmResumeAutomatic = 0x0012;

}  // namespace win
