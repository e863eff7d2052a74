#pragma once

#include <string>

// The user's own secret store, which only this user can read. A target is
// the text naming an entry there. May be used from any thread.
class Credentials {
 public:
  virtual ~Credentials() = default;
  // Keeps secret for target, replacing any kept before; false when refused.
  virtual bool Remember(const std::string& target, const std::string& secret) = 0;
  // The secret kept for target; false when there is none.
  virtual bool Find(const std::string& target, std::string& secret) = 0;
  // As Remember and Find, for bytes kept exactly as given rather than as text.
  virtual bool RememberBytes(const std::string& target, const std::string& bytes) = 0;
  virtual bool FindBytes(const std::string& target, std::string& bytes) = 0;
  // Removes what is kept for target, if anything.
  virtual void Forget(const std::string& target) = 0;
};
