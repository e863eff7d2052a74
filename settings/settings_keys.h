#pragma once

#include <string>
#include <vector>

struct MailSettings;

// The lines after the eleven: the newer settings as key=value lines, then a
// group for each further account that starts with "Account=NAME". Each key
// is named, read and written in one place.

// Reads lines as they follow the eleven. Of two lines for one key the first
// counts; a key this version does not know is dropped among the newer
// settings and kept in an account's group.
void ParseKeyLines(const std::vector<std::string>& lines, MailSettings& settings);

// The lines for the newer settings and the further accounts, each ending in
// CR LF; nothing when every newer setting is at its default and there is no
// further account.
std::string FormatKeyLines(const MailSettings& settings);

// A value as one line: a line break in it would end its line early and
// shift every line after it.
std::string OneLine(const std::string& text);
