#pragma once

#include "platform/credentials.h"
#include "tests/double/fake_world.h"

// The user's password store as a map, which may refuse writes. Text and
// bytes are kept alike: the fake has no encoding to tell them apart. Only
// a password's write is an event: tokens are written on checks' threads.
class FakeCredentials : public Credentials {
 public:
  explicit FakeCredentials(FakeWorld& world) : m_world(world) {}
  bool Remember(const std::string& target, const std::string& secret) override {
    m_world.events.push_back("credential write " + target);
    return RememberBytes(target, secret);
  }
  bool RememberBytes(const std::string& target, const std::string& bytes) override {
    const std::lock_guard<std::mutex> lock(m_world.credentialsMutex);
    if (m_world.credentialWritesFail) return false;
    m_world.credentials[target] = bytes;
    return true;
  }
  bool Find(const std::string& target, std::string& secret) override {
    const std::lock_guard<std::mutex> lock(m_world.credentialsMutex);
    const auto found = m_world.credentials.find(target);
    if (found == m_world.credentials.end()) return false;
    secret = found->second;
    return true;
  }
  bool FindBytes(const std::string& target, std::string& bytes) override {
    return Find(target, bytes);
  }
  void Forget(const std::string& target) override {
    const std::lock_guard<std::mutex> lock(m_world.credentialsMutex);
    m_world.credentials.erase(target);
  }

 private:
  FakeWorld& m_world;
};
