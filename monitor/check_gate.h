#pragma once

#include <optional>

#include "check/outcome.h"
#include "settings/accounts.h"

// Whether a check of the account can start at all: the outcome to present
// in its place when it cannot, nothing when it can.
std::optional<CheckOutcome> CheckHeldBack(const AccountSettings& account);
