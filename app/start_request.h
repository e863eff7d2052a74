#pragma once

#include <string>
#include <vector>

#include "platform/single_instance.h"

// What a start of the program asks, read once from its command line: /exit
// to end the running copy, /check or nothing to check now. The switches are
// read without regard to letter case, with "-" as well as "/"; the last one
// given counts.
CopyRequest ParseStartRequest(const std::vector<std::string>& arguments);
