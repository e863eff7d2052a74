#pragma once

#include <memory>
#include <string>

#include "platform/autorun.h"

// Autorun at boot: the program's value in the Run keys, for every user when
// this user may, else for this user alone. It is on while either key holds
// it, and says so only when the registry does.
class AutorunSwitch {
 public:
  enum class Change { kDone, kFailed, kNeedsAdministrator };

  explicit AutorunSwitch(std::shared_ptr<Autorun> autorun) : m_pAutorun(std::move(autorun)) {}

  // True when this user may change either key: else the menu has no item.
  bool Available() const;
  bool IsOn() const;
  // Turns it on, with command as what the system runs at log-on, or off;
  // kDone only when the registry holds what was asked.
  Change Set(bool on, const std::string& command);
  // What a box tells the user of a change that was not done; empty for one that was.
  static std::string Problem(Change change);

 private:
  const std::shared_ptr<Autorun> m_pAutorun;
};

// The command line the system runs at log-on to start the program.
std::string AutorunCommand(const std::string& executablePath);
