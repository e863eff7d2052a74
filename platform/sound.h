#pragma once

#include <string>

// Why a sound did not play.
enum class SoundResult { kPlayed, kUnreadable, kNotAWave, kTooLarge };

// Sounds of the user's choosing.
class Sound {
 public:
  virtual ~Sound() = default;
  // Plays the WAV file in the background, read and checked first and played
  // from memory; the sound playing before stops.
  virtual SoundResult Play(const std::string& path) = 0;
};
