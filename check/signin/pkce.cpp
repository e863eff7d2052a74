#include "check/signin/pkce.h"

#include "check/signin/base64.h"
#include "platform/digest.h"
#include "platform/random.h"

std::string CodeChallenge(Digest& digest, const std::string& verifier) {
  const std::string hash = digest.Sha256(verifier);
  return hash.empty() ? std::string() : Base64Url(hash);
}

// 32 bytes make a 43-character verifier, the shortest RFC 7636 allows.
bool NewSignInSecrets(Random& random, Digest& digest, SignInSecrets& secrets) {
  std::string bytes;
  if (!random.Bytes(kSecretBytes, bytes)) return false;
  secrets.state = Base64Url(bytes);
  if (!random.Bytes(kSecretBytes, bytes)) return false;
  secrets.verifier = Base64Url(bytes);
  secrets.challenge = CodeChallenge(digest, secrets.verifier);
  return !secrets.challenge.empty();
}
