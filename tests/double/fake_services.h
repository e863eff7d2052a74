#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/services.h"
#include "tests/double/fake_world.h"

// The ANSI code page of a Western Windows, as far as the tests need it:
// cp1252's Latin-1 characters.
class Latin1Codec : public TextCodec {
 public:
  bool ToAnsi(const std::string& utf8, std::string& ansi) const override;
  std::string FromAnsi(const std::string& ansi) const override;
};

// Knows no charset beyond the program's own.
class NoSystemCharsets final : public CharsetDecoder {
 public:
  bool DecodeToUtf8(const std::string&, const std::string&, std::string&) const override {
    return false;
  }
};

// Always the same moment.
class FakeClock : public Clock {
 public:
  std::string LocalTimeText() override { return "2026-12-07 15:04:49"; }
};

// Every fake service of a world, bundled as the program gets them.
Services FakeServices(FakeWorld& world);
