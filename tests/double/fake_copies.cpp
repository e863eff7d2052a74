#include "tests/double/fake_copies.h"

#include "platform/win_constants.h"
#include "tests/double/fake_platform.h"

bool FakeCopies::Claim(const std::string& settingsPath) {
  if (heldElsewhere) return false;
  claimed = settingsPath;
  return true;
}

void FakeCopies::Forward(const std::string& settingsPath, CopyRequest request) {
  forwarded.push_back((request == CopyRequest::kExit ? "exit " : "check ") + settingsPath);
}

std::optional<CopyRequest> FakeCopies::Received(unsigned message, uintptr_t wParam, intptr_t) {
  if (message != kMessage) return std::nullopt;
  return static_cast<CopyRequest>(wParam);
}

void FakeCopies::CancelOpenDialogs() {
  m_platform.events.push_back("cancel open dialogs");
  for (const std::unique_ptr<FakeDialog>& open : m_platform.openDialogs)
    if (!open->ended) open->Click(win::kIdCancel);
}
