#include "check/signin/token_store.h"

std::string TokenPartTarget(const std::string& target, size_t part) {
  return part == 1 ? target : target + "#" + std::to_string(part);
}

bool KeepToken(SecretStore& store, const std::string& target, const std::string& token) {
  if (token.empty()) return false;
  size_t part = 1;
  for (size_t at = 0; at < token.size(); at += kMaxSecretPart, ++part) {
    if (!store.Write(TokenPartTarget(target, part), token.substr(at, kMaxSecretPart))) {
      ForgetToken(store, target);
      return false;
    }
  }
  // A part left from a longer token would be read back after this one's end.
  std::string stale;
  for (; store.Read(TokenPartTarget(target, part), stale); ++part)
    store.Remove(TokenPartTarget(target, part));
  return true;
}

bool FindToken(SecretStore& store, const std::string& target, std::string& token) {
  token.clear();
  std::string part;
  for (size_t number = 1; store.Read(TokenPartTarget(target, number), part); ++number) {
    token += part;
    // Only a full part may have one after it.
    if (part.size() != kMaxSecretPart) break;
  }
  return !token.empty();
}

void ForgetToken(SecretStore& store, const std::string& target) {
  std::string part;
  for (size_t number = 1; store.Read(TokenPartTarget(target, number), part); ++number)
    store.Remove(TokenPartTarget(target, number));
}
