#pragma once

#include <string>
#include <vector>

#include "platform/single_instance.h"

class FakePlatform;

// The running copies as a test sets them up: whether another copy holds the
// settings file, and what was handed over to it.
class FakeCopies : public SingleInstance {
 public:
  // The message a forwarded request arrives as.
  static constexpr unsigned kMessage = 0xC0DF;

  explicit FakeCopies(FakePlatform& platform) : m_platform(platform) {}

  bool Claim(const std::string& settingsPath) override;
  void Forward(const std::string& settingsPath, CopyRequest request) override;
  std::optional<CopyRequest> Received(unsigned message, uintptr_t wParam, intptr_t lParam) override;
  void CancelOpenDialogs() override;

  bool heldElsewhere = false;
  std::string claimed;
  // "check <settings path>" or "exit <settings path>", in order.
  std::vector<std::string> forwarded;

 private:
  FakePlatform& m_platform;
};
