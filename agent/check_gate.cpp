#include "agent/check_gate.h"

// Without a server there is nobody to ask: a first start guides the user to
// the server options instead of failing against a name never typed.
std::optional<CheckOutcome> CheckHeldBack(const MailSettings& settings) {
  if (settings.m_strServer.find_first_not_of(" \t") != std::string::npos) return std::nullopt;
  CheckOutcome held;
  held.kind = OutcomeKind::kNoServer;
  return held;
}
