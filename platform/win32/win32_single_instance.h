#pragma once

#include "platform/win32/scoped_handle.h"

#include "platform/single_instance.h"

// One copy per settings file: a named mutex per settings file says whether a
// copy runs, and a registered message, posted to each of the program's frame
// windows and carrying the settings file's mark, reaches the one that holds it.
class Win32SingleInstance : public SingleInstance {
 public:
  Win32SingleInstance() = default;
  Win32SingleInstance(const Win32SingleInstance&) = delete;
  Win32SingleInstance& operator=(const Win32SingleInstance&) = delete;

  bool Claim(const std::string& settingsPath) override;
  void Forward(const std::string& settingsPath, CopyRequest request) override;
  std::optional<CopyRequest> Received(unsigned message, uintptr_t wParam, intptr_t lParam) override;
  void CancelOpenDialogs() override;

 private:
  UINT RequestMessage();

  ScopedMutex m_mutex;
  uint32_t m_nMark = 0;
  UINT m_nMessage = 0;
};
