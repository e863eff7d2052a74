#pragma once

#include <optional>

#include "check/outcome.h"
#include "settings/settings_file.h"

// Whether a check can start with these settings at all: the outcome to
// present in its place when it cannot, nothing when it can.
std::optional<CheckOutcome> CheckHeldBack(const MailSettings& settings);
