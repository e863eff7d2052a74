#include "check/outcome.h"

CheckOutcome FailedAt(CheckResult result) {
  CheckOutcome outcome;
  outcome.result = result;
  switch (result) {
    case kCheckResolveFailed:
      outcome.kind = OutcomeKind::kResolveFailed;
      break;
    case kCheckConnectFailed:
      outcome.kind = OutcomeKind::kConnectFailed;
      break;
    case kCheckPassRejected:
      outcome.kind = OutcomeKind::kPasswordRejected;
      break;
    case kCheckTokenRefused:
      outcome.kind = OutcomeKind::kTokenRefused;
      break;
    case kCheckSecureFailed:
    case kCheckStlsRefused:
      outcome.kind = OutcomeKind::kSecureFailed;
      break;
    case kCheckUntrusted:
      outcome.kind = OutcomeKind::kUntrusted;
      break;
    case kCheckLoginDisabled:
      outcome.kind = OutcomeKind::kLoginDisabled;
      break;
    case kCheckLoginUnsendable:
      outcome.kind = OutcomeKind::kLoginUnsendable;
      break;
    default:
      outcome.kind = OutcomeKind::kStepFailed;
      break;
  }
  return outcome;
}
