#pragma once

#include <string>

// Where secrets are kept under a target name: the user's credential store.
class SecretStore {
 public:
  // Keeps bytes under target, replacing what was there; false when refused.
  virtual bool Write(const std::string& target, const std::string& bytes) = 0;
  // What is kept under target; false when nothing is.
  virtual bool Read(const std::string& target, std::string& bytes) = 0;
  virtual void Remove(const std::string& target) = 0;

 protected:
  ~SecretStore() = default;
};

// The most one credential holds (CRED_MAX_CREDENTIAL_BLOB_SIZE).
constexpr size_t kMaxSecretPart = 2560;

// The name of a token's part: TARGET for the first, TARGET#2, TARGET#3... after it.
std::string TokenPartTarget(const std::string& target, size_t part);

// Keeps token under target, split in parts of kMaxSecretPart bytes, and
// removes the parts a longer token left behind. When a part is refused,
// nothing of the token stays kept and the result is false.
bool KeepToken(SecretStore& store, const std::string& target, const std::string& token);

// The token kept under target, its parts joined in order; false when none is.
bool FindToken(SecretStore& store, const std::string& target, std::string& token);

// Removes every part of the token kept under target.
void ForgetToken(SecretStore& store, const std::string& target);
