#pragma once

#include <string>

// The value of a decimal text as the C library's atoi reads it (leading white
// space and a sign allowed, stops at the first non-digit, 0 without digits),
// except that a number beyond the integer range is clamped to the range
// instead of being undefined.
int ParseDecimal(const std::string& text);
