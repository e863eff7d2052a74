#pragma once

#include <string>

// Whose log-on starts the program: every user's, or this user's alone.
enum class RunScope { kEveryUser, kThisUser };

// Values in the system's Run keys, which start programs at log-on.
class Autorun {
 public:
  virtual ~Autorun() = default;
  // True when this user may change the scope's key.
  virtual bool MayChange(RunScope scope) = 0;
  // True when the scope's key holds the value, whether or not it may be changed.
  virtual bool IsOn(RunScope scope, const std::string& name) = 0;
  // Writes command as the value; false when refused.
  virtual bool TurnOn(RunScope scope, const std::string& name, const std::string& command) = 0;
  // True when the value is gone afterwards, also when there was none.
  virtual bool TurnOff(RunScope scope, const std::string& name) = 0;
};
