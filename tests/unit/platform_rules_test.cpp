#include <gtest/gtest.h>

#include <cstdint>

#include "platform/long_path.h"
#include "platform/wave_check.h"

namespace {

std::string Little32(uint32_t value) {
  std::string bytes;
  for (int i = 0; i < 4; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
  return bytes;
}

std::string Chunk(const std::string& id, const std::string& body) {
  return id + Little32(static_cast<uint32_t>(body.size())) + body;
}

std::string Riff(const std::string& chunks) {
  return "RIFF" + Little32(static_cast<uint32_t>(4 + chunks.size())) + "WAVE" + chunks;
}

// 8 kHz mono 8-bit PCM; a tag other than 1 is read with the extension size at the end.
std::string Format(uint16_t tag = 1, std::string extension = "") {
  return std::string{static_cast<char>(tag), static_cast<char>(tag >> 8)} +
         std::string("\x01\x00\x40\x1F\x00\x00\x40\x1F\x00\x00\x01\x00\x08\x00", 14) + extension;
}

TEST(WaveCheck, OnlyChunksThatEndWithinTheFileArePlayed) {
  const std::string good =
      Riff(Chunk("fmt ", Format()) + Chunk("LIST", "odd") + '\0' + Chunk("data", "\x80\x80\x80"));
  std::string lyingData = Riff(Chunk("fmt ", Format()) + Chunk("data", "\x80\x80"));
  lyingData.replace(lyingData.size() - 6, 4, Little32(1000));
  std::string lyingRiff = good;
  lyingRiff.replace(4, 4, Little32(0xFFFFFFF8));
  const struct {
    std::string wave;
    WaveFault fault;
  } rows[] = {
      {good, WaveFault::kNone},
      {good + "trailing bytes past the RIFF size", WaveFault::kNone},
      {good.substr(0, good.size() - 1), WaveFault::kChunkPastEnd},  // truncated
      {good.substr(0, 40), WaveFault::kChunkPastEnd},
      {lyingData, WaveFault::kChunkPastEnd},
      {lyingRiff, WaveFault::kChunkPastEnd},
      {Riff(Chunk("data", "\x80") + '\0' + "fmt "), WaveFault::kChunkPastEnd},  // cut header
      {Riff(Chunk("data", "\x80\x80")), WaveFault::kBadFormat},
      {Riff(Chunk("fmt ", Format().substr(0, 14)) + Chunk("data", "")), WaveFault::kBadFormat},
      {Riff(Chunk("fmt ", Format(2, "\x40")) + Chunk("data", "")), WaveFault::kBadFormat},
      {Riff(Chunk("fmt ", Format(2, std::string("\x00\x01", 2) + std::string(128, 'x'))) +
            Chunk("data", "")),
       WaveFault::kBadFormat},  // 256 bytes more said, 128 there
      {Riff(Chunk("fmt ", Format(2, std::string("\x02\x00xy", 4))) + Chunk("data", "")),
       WaveFault::kNone},
      {Riff(Chunk("fmt ", Format())), WaveFault::kNoData},
      {"", WaveFault::kNotWave},
      {"RIFF" + Little32(4) + "AVI ", WaveFault::kNotWave},
      {good.substr(0, 11), WaveFault::kNotWave},
      {Riff(Chunk("fmt ", Format()) + Chunk("data", std::string(kMaxWaveBytes, '\x80'))),
       WaveFault::kTooLarge},
  };
  for (const auto& row : rows)
    EXPECT_EQ(row.fault, CheckWave(row.wave)) << row.wave.size() << " bytes";
  EXPECT_STREQ("", WaveFaultText(WaveFault::kNone));
  EXPECT_STREQ("larger than 16 MiB", WaveFaultText(WaveFault::kTooLarge));
}

TEST(LongPath, LongPathsTakeThePrefixReportedOnesLoseItAndAFolderIsOneKey) {
  const std::string folder(260, 'd');
  std::string east, clefs;  // 300 bytes in 100 UTF-16 units; 516 bytes in 258
  for (int i = 0; i < 100; ++i) east += "\xE6\x9D\xB1";
  for (int i = 0; i < 129; ++i) clefs += "\xF0\x9D\x84\x9E";
  const struct {
    std::string path;
    std::string longForm;
  } rows[] = {
      {"C:\\Tools\\tarvik.log", "C:\\Tools\\tarvik.log"},
      {"C:\\" + folder + "\\tarvik.log", "\\\\?\\C:\\" + folder + "\\tarvik.log"},
      {"C:/" + folder + "/a.wav", "\\\\?\\C:\\" + folder + "\\a.wav"},
      {"\\\\server\\share\\" + folder, "\\\\?\\UNC\\server\\share\\" + folder},
      {"\\\\?\\C:\\" + folder + "/kept", "\\\\?\\C:\\" + folder + "/kept"},
      {folder + "\\relative.log", folder + "\\relative.log"},
      {"C:\\" + east, "C:\\" + east},
      {"C:\\" + clefs, "\\\\?\\C:\\" + clefs},
  };
  for (const auto& row : rows) EXPECT_EQ(row.longForm, LongFormOfPath(row.path)) << row.path;

  EXPECT_EQ("C:\\Users\\Ann", WithoutLongPathPrefix("\\\\?\\C:\\Users\\Ann"));
  EXPECT_EQ("\\\\server\\share\\x", WithoutLongPathPrefix("\\\\?\\UNC\\server\\share\\x"));
  EXPECT_EQ("C:\\Tools", WithoutLongPathPrefix("C:\\Tools"));
  EXPECT_EQ("\\\\server\\share", WithoutLongPathPrefix("\\\\server\\share"));

  // One settings file reached through a short name, a junction, a prefix or a share.
  const char* keys[][3] = {
      {"C:\\PROGRA~1\\Tarvik\\tarvik.ini", "\\\\?\\C:\\Program Files\\Tarvik",
       "C:\\Program Files\\Tarvik\\tarvik.ini"},
      {"C:\\Link\\tarvik.ini", "\\\\?\\D:\\Real", "D:\\Real\\tarvik.ini"},
      {"\\\\?\\D:\\Real\\tarvik.ini", "\\\\?\\D:\\Real", "D:\\Real\\tarvik.ini"},
      {"S:\\tarvik.ini", "\\\\?\\UNC\\srv\\share\\", "\\\\srv\\share\\tarvik.ini"},
      {"C:\\Tools\\tarvik.ini", "", "C:\\Tools\\tarvik.ini"},  // unknown: as given
  };
  for (const auto& key : keys) EXPECT_EQ(key[2], SettingsFileKey(key[0], key[1])) << key[0];
}

}  // namespace
