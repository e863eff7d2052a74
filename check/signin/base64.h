#pragma once

#include <string>

// Base64 (RFC 4648 section 4) with padding, as SASL sends it.
std::string Base64(const std::string& bytes);

// base64url (RFC 4648 section 5) without padding, as PKCE and JWT use it.
std::string Base64Url(const std::string& bytes);

// Decodes either alphabet, with or without padding; false on any other
// character or a length no encoding has.
bool DecodeBase64(const std::string& text, std::string& bytes);
