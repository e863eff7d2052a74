#pragma once

#include <string>

class Digest;
class Random;

// The secrets of one sign-in: the state that ties the redirect to it, and
// the PKCE verifier with its S256 challenge (RFC 7636).
struct SignInSecrets {
  std::string state;
  std::string verifier;
  std::string challenge;
};

// Random bytes behind the state and the verifier, each.
constexpr size_t kSecretBytes = 32;

// New secrets from the system's random numbers; false when it has none.
bool NewSignInSecrets(Random& random, Digest& digest, SignInSecrets& secrets);

// BASE64URL(SHA256(verifier)) (RFC 7636 section 4.2); empty when the digest fails.
std::string CodeChallenge(Digest& digest, const std::string& verifier);
