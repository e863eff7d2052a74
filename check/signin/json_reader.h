#pragma once

#include <cstddef>
#include <map>
#include <string>

// The most a JSON text to be read may hold: token responses are far smaller.
constexpr size_t kMaxJsonText = 64 * 1024;

// The top-level members of a JSON object (RFC 8259) whose values are strings
// (unescaped, as UTF-8) or numbers (as written); other values are checked
// and passed over. False for text that is not one whole object, is longer
// than kMaxJsonText, or nests deeper than a token response ever does.
bool ReadJsonObject(const std::string& text, std::map<std::string, std::string>& members);
