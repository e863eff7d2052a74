#pragma once

#include "platform/credentials.h"
#include "tests/double/fake_world.h"

// The user's password store as a map, which may refuse writes.
class FakeCredentials : public Credentials {
 public:
  explicit FakeCredentials(FakeWorld& world) : m_world(world) {}
  bool Remember(const std::string& target, const std::string& secret) override {
    m_world.events.push_back("credential write " + target);
    if (m_world.credentialWritesFail) return false;
    m_world.credentials[target] = secret;
    return true;
  }
  bool Find(const std::string& target, std::string& secret) override {
    const auto found = m_world.credentials.find(target);
    if (found == m_world.credentials.end()) return false;
    secret = found->second;
    return true;
  }
  void Forget(const std::string& target) override {
    m_world.events.push_back("credential delete " + target);
    m_world.credentials.erase(target);
  }

 private:
  FakeWorld& m_world;
};
