#include "platform/wave_check.h"

#include <cstdint>

namespace {

constexpr size_t kChunkHeader = 8;
// WAVEFORMAT's fields, then PCMWAVEFORMAT's bits per sample.
constexpr size_t kPcmFormatBytes = 16;
// WAVEFORMATEX: its cbSize field tells how many more bytes follow it.
constexpr size_t kExtendedFormatBytes = 18;
constexpr uint16_t kPcmTag = 1;

uint32_t Little32(const std::string& bytes, size_t at) {
  uint32_t value = 0;
  for (size_t i = 4; i-- > 0;) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

uint16_t Little16(const std::string& bytes, size_t at) {
  return static_cast<uint16_t>(static_cast<unsigned char>(bytes[at]) |
                               (static_cast<unsigned char>(bytes[at + 1]) << 8));
}

// Any format but plain PCM is read as WAVEFORMATEX, extra bytes and all.
bool FormatFits(const std::string& wave, size_t at, size_t size) {
  if (size < kPcmFormatBytes) return false;
  if (Little16(wave, at) == kPcmTag) return true;
  return size >= kExtendedFormatBytes && kExtendedFormatBytes + Little16(wave, at + 16) <= size;
}

}  // namespace

WaveFault CheckWave(const std::string& wave) {
  if (wave.size() > kMaxWaveBytes) return WaveFault::kTooLarge;
  if (wave.size() < 12 || wave.compare(0, 4, "RIFF") != 0 || wave.compare(8, 4, "WAVE") != 0)
    return WaveFault::kNotWave;
  const uint64_t end = uint64_t{Little32(wave, 4)} + kChunkHeader;
  if (end > wave.size()) return WaveFault::kChunkPastEnd;
  bool format = false;
  bool data = false;
  // Chunks start at even offsets: an odd size is followed by a pad byte.
  for (uint64_t at = 12; at < end; at += (at & 1)) {
    if (at + kChunkHeader > end) return WaveFault::kChunkPastEnd;
    const size_t start = static_cast<size_t>(at);
    const uint64_t size = Little32(wave, start + 4);
    if (at + kChunkHeader + size > end) return WaveFault::kChunkPastEnd;
    if (wave.compare(start, 4, "fmt ") == 0) {
      if (!FormatFits(wave, start + kChunkHeader, static_cast<size_t>(size)))
        return WaveFault::kBadFormat;
      format = true;
    }
    if (wave.compare(start, 4, "data") == 0) data = true;
    at += kChunkHeader + size;
  }
  if (!format) return WaveFault::kBadFormat;
  return data ? WaveFault::kNone : WaveFault::kNoData;
}

const char* WaveFaultText(WaveFault fault) {
  switch (fault) {
    case WaveFault::kNone:
      return "";
    case WaveFault::kTooLarge:
      return "larger than 16 MiB";
    case WaveFault::kNotWave:
      return "not a RIFF WAVE file";
    case WaveFault::kChunkPastEnd:
      return "cut short, or a chunk size reaches past its end";
    case WaveFault::kBadFormat:
      return "no format chunk, or one shorter than its fields";
    case WaveFault::kNoData:
      return "no data chunk";
  }
  return "";
}
