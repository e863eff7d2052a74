#pragma once

#include <cstddef>
#include <string>

// What keeps a wave file from being played from memory. The system's player
// is given no length there: it trusts the file's own chunk sizes, so every
// one of them must lie within the bytes read.
enum class WaveFault { kNone, kTooLarge, kNotWave, kChunkPastEnd, kBadFormat, kNoData };

// Larger sound files are not read whole, nor played.
constexpr size_t kMaxWaveBytes = 16 * 1024 * 1024;

// The first fault of wave, a whole file's bytes; kNone when it is a RIFF
// WAVE file of at most kMaxWaveBytes whose chunks all end within it, with a
// format chunk as long as its own fields say and a data chunk.
WaveFault CheckWave(const std::string& wave);

// The fault in words, for the log.
const char* WaveFaultText(WaveFault fault);
