#include "agent/autorun_switch.h"

#include <algorithm>
#include <iterator>

namespace {

constexpr char kValueName[] = "Nolvar-Tarvik";
constexpr RunScope kScopes[] = {RunScope::kEveryUser, RunScope::kThisUser};

}  // namespace

// Quoted, so that a path with spaces can never start a different program.
std::string AutorunCommand(const std::string& executablePath) {
  return "\"" + executablePath + "\" ";
}

bool AutorunSwitch::Available() const {
  return std::any_of(std::begin(kScopes), std::end(kScopes),
                     [this](RunScope scope) { return m_pAutorun->MayChange(scope); });
}

bool AutorunSwitch::IsOn() const {
  return std::any_of(std::begin(kScopes), std::end(kScopes),
                     [this](RunScope scope) { return m_pAutorun->IsOn(scope, kValueName); });
}

// On: for every user when this user may, else for this user alone. With a
// manifest, or as a 64-bit program, an ordinary user cannot write the
// machine's Run key, and Windows no longer diverts such a write to a copy it
// never reads. Off: from both keys.
AutorunSwitch::Change AutorunSwitch::Set(bool on, const std::string& command) {
  if (on) {
    for (const RunScope scope : kScopes) {
      if (!m_pAutorun->MayChange(scope)) continue;
      return m_pAutorun->TurnOn(scope, kValueName, command) ? Change::kDone
                                                                  : Change::kFailed;
    }
    return Change::kFailed;
  }
  const bool userValueGone = m_pAutorun->TurnOff(RunScope::kThisUser, kValueName);
  if (!m_pAutorun->TurnOff(RunScope::kEveryUser, kValueName))
    return m_pAutorun->MayChange(RunScope::kEveryUser) ? Change::kFailed
                                                       : Change::kNeedsAdministrator;
  return userValueGone ? Change::kDone : Change::kFailed;
}

std::string AutorunSwitch::Problem(Change change) {
  switch (change) {
    case Change::kFailed:
      return "Autorun at boot could not be changed.";
    case Change::kNeedsAdministrator:
      return "Autorun at boot is set up for every user of this computer.\n"
             "Only an administrator can turn it off.";
    case Change::kDone:
      break;
  }
  return std::string();
}
