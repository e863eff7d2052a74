#pragma once

#include <cstdint>
#include <optional>
#include <string>

// What a later start asks of the copy already running for its settings file.
enum class CopyRequest : uintptr_t { kCheck = 1, kExit = 2 };

// One running copy per settings file: a later start of the same copy hands
// its request over and ends, while copies in other folders, with settings
// files of their own, run side by side.
class SingleInstance {
 public:
  virtual ~SingleInstance() = default;
  // Claims the settings file for this copy for the rest of its life; false
  // when a running copy holds it already.
  virtual bool Claim(const std::string& settingsPath) = 0;
  // Hands the request to the copy holding the settings file; returns at once.
  virtual void Forward(const std::string& settingsPath, CopyRequest request) = 0;
  // The request a window message carries, when it is one for this copy.
  virtual std::optional<CopyRequest> Received(unsigned message, uintptr_t wParam,
                                              intptr_t lParam) = 0;
  // Closes every box and dialog this copy has open, as Cancel does.
  virtual void CancelOpenDialogs() = 0;
};
