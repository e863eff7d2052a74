#include "platform/win32/wave_player.h"

// mmsystem.h needs the types of windows.h.
#include <windows.h>
// clang-format off
#include <mmsystem.h>
// clang-format on

#include "platform/wave_check.h"

std::string PlayWave(const std::string& wave, bool async) {
  const WaveFault fault = CheckWave(wave);
  if (fault != WaveFault::kNone) return WaveFaultText(fault);
  if (!PlaySoundW(reinterpret_cast<LPCWSTR>(wave.data()), nullptr,
                  SND_MEMORY | (async ? SND_ASYNC : SND_SYNC)))
    return "the system could not play it";
  return std::string();
}

void StopWave() { PlaySoundW(nullptr, nullptr, 0); }
