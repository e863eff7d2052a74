#pragma once

#include "platform/shell.h"
#include "tests/double/fake_world.h"

// The registered mail program as a test sets it, and what was started.
class FakeShell : public Shell {
 public:
  explicit FakeShell(FakeWorld& world) : m_world(world) {}
  std::string RegisteredMailCommand() override { return m_world.registeredMail; }
  bool Open(const std::string& target) override {
    m_world.started.push_back("open " + target);
    return !m_world.browser || m_world.browser(target);
  }
  bool Run(const std::string& commandLine) override {
    m_world.started.push_back("run " + commandLine);
    return true;
  }

 private:
  FakeWorld& m_world;
};
