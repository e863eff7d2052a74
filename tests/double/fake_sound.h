#pragma once

#include "platform/sound.h"
#include "platform/wave_check.h"
#include "tests/double/fake_world.h"

// Records what was played; a sound file the test put in place must pass the
// check, as on Windows.
class FakeSound : public Sound {
 public:
  explicit FakeSound(FakeWorld& world) : m_world(world) {}
  std::string Play(const std::string& path) override {
    m_world.events.push_back("sound " + path);
    const std::lock_guard<std::mutex> lock(m_world.filesMutex);
    const auto found = m_world.files.find(path);
    return found == m_world.files.end() ? std::string() : WaveFaultText(CheckWave(found->second));
  }

 private:
  FakeWorld& m_world;
};
