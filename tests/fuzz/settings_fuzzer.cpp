// libFuzzer target: any bytes as the settings file. Loading never fails, the
// eleven lines are always written, and what is saved from the result loads
// back to the same file.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "settings/settings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MailSettings loaded;
  ParseSettings(std::string(reinterpret_cast<const char*>(data), size), loaded);
  if (loaded.m_nInterval < kMinimumInterval) std::abort();
  const std::string saved = FormatSettings(loaded);
  size_t lineEnds = 0;
  for (size_t i = 0; i < saved.size(); ++i) {
    if (saved[i] == '\n' && (i == 0 || saved[i - 1] != '\r')) std::abort();
    if (saved[i] == '\r' && (i + 1 == saved.size() || saved[i + 1] != '\n')) std::abort();
    if (saved[i] == '\n') ++lineEnds;
  }
  if (lineEnds < 11) std::abort();
  MailSettings again;
  ParseSettings(saved, again);
  if (FormatSettings(again) != saved) std::abort();
  return 0;
}
