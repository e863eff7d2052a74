#pragma once

#include "platform/autorun.h"
#include "tests/double/fake_world.h"

// The two Run keys as a test sets them up, each with the program's value or none.
class FakeAutorun : public Autorun {
 public:
  static constexpr char kName[] = "Nolvar-Tarvik";

  explicit FakeAutorun(FakeWorld& world) : m_world(world) {}
  bool MayChange(RunScope scope) override { return Key(scope).writable; }
  bool IsOn(RunScope scope, const std::string& name) override {
    return Key(scope).value.has_value() && name == kName;
  }
  bool TurnOn(RunScope scope, const std::string& name, const std::string& command) override {
    m_world.events.push_back("registry set " + Name(scope) + " " + name + "=" + command);
    if (!Key(scope).writable || m_world.registryWritesFail) return false;
    Key(scope).value = command;
    return true;
  }
  bool TurnOff(RunScope scope, const std::string& name) override {
    m_world.events.push_back("registry delete " + Name(scope) + " " + name);
    if (!Key(scope).writable || m_world.registryWritesFail) return !IsOn(scope, name);
    Key(scope).value.reset();
    return true;
  }

 private:
  FakeWorld::RunKey& Key(RunScope scope) {
    return scope == RunScope::kEveryUser ? m_world.machineRun : m_world.userRun;
  }
  static std::string Name(RunScope scope) {
    return scope == RunScope::kEveryUser ? "HKLM" : "HKCU";
  }

  FakeWorld& m_world;
};
