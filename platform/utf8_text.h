#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The length of the valid UTF-8 sequence at text[at], with its code point;
// 0 when none starts there (a cut sequence, an overlong form, a surrogate or
// a value past U+10FFFF).
size_t Utf8SequenceAt(const std::string& text, size_t at, uint32_t& codePoint);

// True when text is well-formed UTF-8: no stray continuation byte, no cut
// sequence, no overlong form, surrogate or value past U+10FFFF.
bool IsValidUtf8(const std::string& text);

// The longest start of text made of whole characters whose UTF-16 form has
// at most units code units: a character outside the basic plane (a surrogate
// pair) is kept or dropped whole, and so is a UTF-8 sequence. A byte that
// starts no valid sequence counts as one character, as the system shows it.
std::string CutToUtf16Units(const std::string& text, size_t units);

// How many UTF-16 code units the system needs for text, counted as
// CutToUtf16Units counts them.
size_t Utf16Units(const std::string& text);
