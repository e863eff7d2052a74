#pragma once

#include <string>

// Sounds of the user's choosing.
class Sound {
 public:
  virtual ~Sound() = default;
  // Plays the WAV file in the background, read and checked whole first and
  // played from memory; the sound playing before stops. Empty when it plays,
  // else why not, for the log.
  virtual std::string Play(const std::string& path) = 0;
};
