#pragma once

#include "platform/sound.h"
#include "tests/double/fake_world.h"

// Records what was played.
class FakeSound : public Sound {
 public:
  explicit FakeSound(FakeWorld& world) : m_world(world) {}
  SoundResult Play(const std::string& path) override {
    m_world.events.push_back("sound " + path);
    return SoundResult::kPlayed;
  }

 private:
  FakeWorld& m_world;
};
