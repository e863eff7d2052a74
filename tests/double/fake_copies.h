#pragma once

#include <string>
#include <vector>

#include "platform/single_instance.h"

class FakePlatform;

// The running copies as a test sets them up: whether another copy holds the
// settings file, and what was handed over to it ("check PATH", "exit PATH").
class FakeCopies : public SingleInstance {
 public:
  static constexpr unsigned kMessage = 0xC0DF;  // a handed-over request arrives as this

  explicit FakeCopies(FakePlatform& platform) : m_platform(platform) {}
  bool Claim(const std::string& path) override { return !heldElsewhere && (claimed = path, true); }
  void Forward(const std::string& path, CopyRequest request) override {
    forwarded.push_back((request == CopyRequest::kExit ? "exit " : "check ") + path);
  }
  std::optional<CopyRequest> Received(unsigned message, uintptr_t wParam, intptr_t) override {
    return message == kMessage ? std::optional<CopyRequest>(CopyRequest(wParam)) : std::nullopt;
  }
  void CancelOpenDialogs() override;  // clicks Cancel in each open dialog

  bool heldElsewhere = false;
  std::string claimed;
  std::vector<std::string> forwarded;

 private:
  FakePlatform& m_platform;
};
