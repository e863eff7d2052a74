#include "log/event_log.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/double/fake_platform.h"

namespace {

const char kLog[] = "C:\\Tools\\tarvik.log";
const char kOlder[] = "C:\\Tools\\tarvik.old.log";

TEST(EventLogTest, AFullLogBecomesTheOneOlderFileAndAClosedOneWritesNothing) {
  FakePlatform platform;
  platform.files[kLog] = std::string(EventLog::kMaxBytes - 10, 'x');
  platform.files[kOlder] = "oldest";
  EventLog log(platform.GetServices().files, platform.GetServices().clock, kLog);
  log.Add("reply\r\nQUIT injected\x01\xC2\x85\xE2\x80\xAE\xFF \xC3\xA9");  // one event, one line
  log.Add(std::string(379, 'a') + "\xC3\xA9 and more");  // cut at 400 bytes, between characters
  log.Flush();
  EXPECT_EQ(EventLog::kMaxBytes - 10, platform.files[kOlder].size()) << "the oldest is gone";
  EXPECT_EQ("2026-12-07 15:04:49 replyQUIT injected\xEF\xBF\xBD \xC3\xA9\r\n"
            "2026-12-07 15:04:49 " + std::string(379, 'a') + "\r\n",
            platform.files[kLog]);
  log.Add("last Zo\xC3\xAB");
  log.Close();
  log.Add("after");
  log.Flush();
  EXPECT_EQ(std::string::npos, platform.files[kLog].find("after"));
  EXPECT_NE(std::string::npos, platform.files[kLog].find("last Zo\xC3\xAB"));
  EXPECT_EQ(EventLog::kMaxBytes - 10, platform.files[kOlder].size()) << "rotated once only";
  EventLog quiet(platform.GetServices().files, platform.GetServices().clock, "C:\\quiet.log");
  quiet.Close();
  EXPECT_EQ(0u, platform.files.count("C:\\quiet.log")) << "nor makes a file with nothing to write";
}

TEST(EventLogTest, ALogThatCannotBecomeTheOlderFileIsCutAndLinesAreWrittenUnasked) {
  FakePlatform platform;
  platform.files[kLog] = std::string(EventLog::kMaxBytes - 10, 'x');
  platform.replaceFails = true;
  EventLog log(platform.GetServices().files, platform.GetServices().clock, kLog,
               std::chrono::milliseconds(1));
  std::string written;
  for (const char* text : {"held open", "and a later one"}) {
    log.Add(text);
    written += "2026-12-07 15:04:49 " + std::string(text) + "\r\n";
    for (int waited = 0; platform.FileSystem().Size(kLog) != written.size() && waited < 5000;
         ++waited)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(written.size(), platform.FileSystem().Size(kLog)) << "without a flush: " << text;
  }
  log.Close();
  EXPECT_EQ(written, platform.files[kLog]);
  EXPECT_EQ(0u, platform.files.count(kOlder));
}

}  // namespace
