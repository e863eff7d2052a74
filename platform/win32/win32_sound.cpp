// Sounds played from memory: with a file name the system would open the file
// through an ANSI path of at most 128 characters, and it is given no length,
// so a file is read whole and checked before the player sees it.
#include "platform/win32/win32_services.h"

// mmsystem.h needs the types of windows.h.
// clang-format off
#include <windows.h>
#include <mmsystem.h>
// clang-format on

#include "platform/wave_check.h"

namespace {

class Win32Sound : public Sound {
 public:
  explicit Win32Sound(std::shared_ptr<Files> files) : m_pFiles(std::move(files)) {}
  ~Win32Sound() override { Stop(); }

  // The wave stays in m_strWave, in use by the system, until the next sound
  // replaces it; the sound playing is stopped before its buffer goes.
  std::string Play(const std::string& path) override {
    Stop();
    if (!m_pFiles->ReadStart(path, kMaxWaveBytes + 1, m_strWave)) return "it cannot be read";
    const WaveFault fault = CheckWave(m_strWave);
    if (fault != WaveFault::kNone) return WaveFaultText(fault);
    if (!PlaySoundW(reinterpret_cast<LPCWSTR>(m_strWave.data()), nullptr, SND_MEMORY | SND_ASYNC))
      return "the system could not play it";
    return std::string();
  }

 private:
  void Stop() {
    PlaySoundW(nullptr, nullptr, 0);
    m_strWave.clear();
  }

  const std::shared_ptr<Files> m_pFiles;
  std::string m_strWave;
};

}  // namespace

std::shared_ptr<Sound> CreateWin32Sound(std::shared_ptr<Files> files) {
  return std::make_shared<Win32Sound>(std::move(files));
}
