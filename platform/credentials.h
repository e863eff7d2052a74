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
  // Removes what is kept for target, if anything.
  virtual void Forget(const std::string& target) = 0;
};
