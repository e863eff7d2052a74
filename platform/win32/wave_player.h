#pragma once

#include <string>

// Plays wave, a whole file's bytes, from memory, once: with a file name the
// system would open it through an ANSI path of at most 128 characters. The
// bytes must stay as they are until the sound ends or StopWave returns.
// Empty when it plays, else why not: a file that fails CheckWave is never
// handed to the player, which would read past its end.
std::string PlayWave(const std::string& wave, bool async);

// Stops the wave playing, if any.
void StopWave();
