// The whole check over real loopback TCP against a scripted server that
// misbehaves in every way the tests know of. Each case must end in one clear
// outcome (a tip, a picture, the boxes), within the time limit, and with
// nothing sent that should not be. Before it, a check has shown mail waiting,
// so that every picture and tip seen is the case's own.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "agent/main_frame.h"
#include "platform/posix/posix_transport.h"
#include "platform/win_constants.h"
#include "res/resource.h"
#include "script_server.h"
#include "tests/double/check_driver.h"
#include "tests/double/fake_platform.h"
#include "tests/double/memory_transport.h"
#include "tests/double/redirect_transport.h"

namespace {

using Lines = std::vector<std::string>;
using Step = ScriptStep;
using Clock = std::chrono::steady_clock;

constexpr int kTimeoutMs = 300;
const char kPassword[] = "s3cr3t-pw";
// Every count here is below the earlier one, so no header is asked for.
const Lines kAll = {"USER alice", std::string("PASS ") + kPassword, "STAT", "UIDL"};
const Lines kToUser = {"USER alice"};
const Lines kToPass = {"USER alice", std::string("PASS ") + kPassword};
const Lines kToStat = {"USER alice", std::string("PASS ") + kPassword, "STAT"};
const Lines kUserRefused = {"USER alice", "QUIT"};
const std::string kConnectTip = "Couldn't connect to POP3 server!";
const std::string kUserBox = "Incorrect user name!";
const std::string kPassBox = "Incorrect password or user name!";
const std::string kEarlierTip = "You have 99 messages waiting";

// The server's side: the greeting, then each further reply after reading one
// command, then the end.
std::vector<Step> Replies(const Lines& replies, const std::vector<Step>& end = {Step::Expect()}) {
  std::vector<Step> script;
  for (const std::string& reply : replies) {
    if (!script.empty()) script.push_back(Step::Expect());
    script.push_back(Step::Send(reply));
  }
  script.insert(script.end(), end.begin(), end.end());
  return script;
}

std::vector<Step> Stat(const std::string& reply, const std::vector<Step>& end = {Step::Expect()}) {
  return Replies({"+OK ready\r\n", "+OK\r\n", "+OK in\r\n", reply}, end);
}

struct Outcome {
  std::string tip;
  int picture;
  Lines boxes;
  Lines sent;
};

// A completed check; with mail waiting the count box shows the tip too.
Outcome Count(const std::string& tip, int picture = IDI_NEWMAIL, const Lines& sent = kAll) {
  return {tip, picture, picture == IDI_NEWMAIL ? Lines{tip} : Lines{}, sent};
}

// A failure keeps the earlier tip under the error picture.
Outcome Failed(const Lines& sent, const Lines& boxes = {}) {
  return {kEarlierTip, IDI_NOTCONNECTED, boxes, sent};
}

// A rejection is a failure whose tip is its box's text.
Outcome UserRefused() { return {kUserBox, IDI_NOTCONNECTED, {kUserBox}, kUserRefused}; }
Outcome PassRefused() { return {kPassBox, IDI_NOTCONNECTED, {kPassBox}, kToPass}; }

const Outcome kUnreachable = {kConnectTip, IDI_NOTCONNECTED, {}, {}};

struct FaultCase {
  std::string name;
  std::vector<Step> script;
  Outcome expected;
};

void PrintTo(const FaultCase& fault, std::ostream* out) { *out << fault.name; }

std::vector<FaultCase> Cases() {
  const std::string line512 = "+OK 3 " + std::string(504, 'x') + "\r\n";
  const std::string line513 = "+OK 3 " + std::string(505, 'x') + "\r\n";
  std::vector<FaultCase> cases = {
      {"standard", Stat("+OK 12 4096\r\n"), Count("You have 12 messages waiting")},
      {"empty mailbox", Stat("+OK 0 0\r\n"), Count("No messages waiting", IDI_NOMAIL)},
      {"one message", Stat("+OK 1 90\r\n"), Count("You have 1 message waiting")},

      {"never greets",
       {Step::Stall()},
       kUnreachable},
      {"refusing greeting",
       Replies({"-ERR [SYS/TEMP] busy\r\n"}),
       kUnreachable},
      {"greeting cut mid-line",
       {Step::Send("+OK hel"), Step::Close()},
       kUnreachable},
      {"greeting reset",
       {Step::Send("+OK hel"), Step::Reset()},
       kUnreachable},
      {"extra line after the greeting",
       Replies({"+OK hi\r\n+OK extra\r\n", "-ERR no such user\r\n"}),
       UserRefused()},

      {"USER refused", Replies({"+OK\r\n", "-ERR\r\n"}),
       UserRefused()},
      {"USER refused [AUTH]", Replies({"+OK\r\n", "-ERR [AUTH] unknown\r\n"}),
       UserRefused()},
      {"USER refused in lower case", Replies({"+OK\r\n", "+ok\r\n"}),
       UserRefused()},
      {"USER answer cut mid-line", Replies({"+OK\r\n", "+O"}, {Step::Close()}),
       Failed(kToUser)},
      {"USER answer reset", Replies({"+OK\r\n"}, {Step::Expect(), Step::Reset()}),
       Failed(kToUser)},
      {"USER answer never comes", Replies({"+OK\r\n"}, {Step::Expect(), Step::Stall()}),
       Failed(kToUser)},

      {"PASS refused", Replies({"+OK\r\n", "+OK\r\n", "-ERR\r\n"}),
       PassRefused()},
      {"PASS refused [AUTH] then hang-up",
       Replies({"+OK\r\n", "+OK\r\n", "-ERR [AUTH] no\r\n"}, {Step::Close()}),
       PassRefused()},
      {"PASS refused [SYS/TEMP] then reset",
       Replies({"+OK\r\n", "+OK\r\n", "-ERR [SYS/TEMP] later\r\n"}, {Step::Reset()}),
       PassRefused()},
      {"PASS refused [IN-USE]", Replies({"+OK\r\n", "+OK\r\n", "-ERR [IN-USE] locked\r\n"}),
       PassRefused()},
      {"PASS refused -ERRx", Replies({"+OK\r\n", "+OK\r\n", "-ERRx\r\n"}),
       PassRefused()},
      {"PASS answer cut between lines",
       Replies({"+OK\r\n", "+OK\r\n"}, {Step::Expect(), Step::Close()}),
       Failed(kToPass)},
      {"PASS answer reset mid-line", Replies({"+OK\r\n", "+OK\r\n", "+OK lo"}, {Step::Reset()}),
       Failed(kToPass)},
      {"PASS answer stalls mid-line", Replies({"+OK\r\n", "+OK\r\n", "+OK lo"}, {Step::Stall()}),
       Failed(kToPass)},

      {"STAT without a count", Stat("+OK\r\n"), Failed(kToStat)},
      {"STAT with only a space", Stat("+OK \r\n"), Failed(kToStat)},
      {"STAT refused", Stat("-ERR [SYS/TEMP] try later\r\n"), Failed(kToStat)},
      {"STAT in lower case", Stat("+ok 3 1\r\n"), Failed(kToStat)},
      {"STAT answer cut mid-line", Stat("+OK 3 ", {Step::Close()}),
       Failed(kToStat)},
      {"STAT answer reset",
       Replies({"+OK\r\n", "+OK\r\n", "+OK\r\n"}, {Step::Expect(), Step::Reset()}),
       Failed(kToStat)},
      {"STAT answer stalls mid-line", Stat("+OK 3 ", {Step::Stall()}),
       Failed(kToStat)},
      {"STAT answer of 64 KiB without a line end",
       Stat(std::string(64 * 1024, '7'), {Step::Stall()}), Failed(kToStat)},

      {"STAT without a size", Stat("+OK 3\r\n"), Count("You have 3 messages waiting")},
      {"STAT count not a number", Stat("+OK x y\r\n"), Count("No messages waiting", IDI_NOMAIL)},
      {"STAT count negative", Stat("+OK -1 0\r\n"), Count("No messages waiting", IDI_NOMAIL)},
      {"STAT count with leading zeros", Stat("+OK 007 70\r\n"),
       Count("You have 007 messages waiting")},
      {"STAT size beyond 32 bits", Stat("+OK 3 4294967400\r\n"),
       Count("You have 3 messages waiting")},
      {"STAT count beyond 2^64", Stat("+OK 18446744073709551617 1\r\n"),
       Count("You have 18446744073709551617 messages waiting")},
      {"STAT with extra text", Stat("+OK 3 320 extra text\r\n"),
       Count("You have 3 messages waiting")},
      {"STAT +OKAY", Stat("+OKAY 2 1\r\n"), Count("You have 2 messages waiting")},
      {"STAT line of 512 bytes", Stat(line512), Count("You have 3 messages waiting")},
      {"STAT line of 513 bytes", Stat(line513), Count("You have 3 messages waiting")},
      {"STAT with control and high bytes", Stat(std::string("+OK 3\x01\x1b\xff\0z 1\r\n", 14)),
       Count("You have 3????z messages waiting")},
      {"NUL and high bytes in every reply",
       Replies({std::string("+OK \0\xfe\r\n", 8), std::string("+OK\0\r\n", 6), "+OK \xc3\xa9\r\n",
                "+OK 4 4\r\n"}),
       Count("You have 4 messages waiting")},
      {"LF-only line ends", Replies({"+OK hi\n", "+OK\n", "+OK in\n", "+OK 5 50\n"}),
       Count("You have 5 messages waiting")},
      {"STAT and goodbye in one segment", Stat("+OK 2 99\r\n+OK bye\r\n"),
       Count("You have 2 messages waiting")},
      {"QUIT unanswered", Stat("+OK 6 60\r\n", {Step::Expect(), Step::Stall()}),
       Count("You have 6 messages waiting")},
      {"connection ends after STAT", Stat("+OK 6 60\r\n", {Step::Close()}),
       Count("You have 6 messages waiting", IDI_NEWMAIL, kToStat)},
  };
  std::vector<Step> split;
  for (const char* reply : {"+OK hi\r\n", "+OK\r\n", "+OK in\r\n", "+OK 1 10\r\n"}) {
    if (!split.empty()) split.push_back(Step::Expect());
    split.push_back(Step::SendSplit(reply, 1));
  }
  split.push_back(Step::Expect());
  cases.push_back({"every reply one byte per segment", split, Count("You have 1 message waiting")});
  return cases;
}

class FaultMatrixTest : public ::testing::TestWithParam<FaultCase> {
 protected:
  FaultMatrixTest() {
    platform.files["C:\\Tools\\tarvik.ini"] =
        std::string("127.0.0.1\r\nalice\r\n") + kPassword +
        "\r\n5\r\nFALSE\r\n\r\nFALSE\r\n\r\nFALSE\r\n\r\nTRUE\r\nAnnounceOnlyNewMail=FALSE\r\n";
    platform.transports = [this] { return earlier.NewSession(); };
  }

  // Starts the program; its first check finds mail waiting.
  void Start() {
    ASSERT_TRUE(frame.Create("Tarvik"));
    FinishCheck(platform, frame);
    ASSERT_EQ(kEarlierTip, frame.Icon().tip);
    platform.boxes.clear();
    platform.events.clear();
  }

  // From now on checks talk to the scripted server.
  void ConnectToScript() {
    platform.transports = [this] {
      return std::make_unique<RedirectTransport>(CreatePosixTransport(), server.Port(), kTimeoutMs);
    };
  }

  // The server records on its own thread: give it a moment to catch up.
  Lines Transcript(size_t lines) const {
    const auto limit = Clock::now() + std::chrono::seconds(2);
    while (server.Transcript().size() < lines && Clock::now() < limit)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return server.Transcript();
  }

  FakePlatform platform;
  MemoryServer earlier = MemoryServer::Standard("+OK 99 1\r\n");
  ScriptServer server;
  CMainFrame frame{platform, nullptr};
};

TEST_P(FaultMatrixTest, EndsInOneClearOutcome) {
  const FaultCase& fault = GetParam();
  ASSERT_TRUE(server.Start(fault.script));
  Start();
  ConnectToScript();

  const auto started = Clock::now();
  RunCheck(platform, frame);
  EXPECT_LT(Clock::now() - started, std::chrono::milliseconds(5 * kTimeoutMs)) << "no hang";

  const Outcome& expected = fault.expected;
  EXPECT_EQ(expected.tip, frame.Icon().tip);
  EXPECT_EQ(expected.picture, frame.Icon().pictureId);
  Lines boxes;
  for (const MessageBoxCall& box : platform.boxes) boxes.push_back(box.text);
  EXPECT_EQ(expected.boxes, boxes);
  EXPECT_EQ(expected.sent, Transcript(expected.sent.size()));
  for (const std::string& event : platform.events)
    EXPECT_EQ(std::string::npos, event.find(kPassword)) << "the password never shows";
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultMatrixTest, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<FaultCase>& param) {
                           std::string name;
                           for (char c : param.param.name)
                             name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           return name;
                         });

class AfterATimeoutTest : public FaultMatrixTest {};

TEST_F(AfterATimeoutTest, TheUserInterfaceIsFreeAgain) {
  ASSERT_TRUE(server.Start({Step::Send("+OK hi\r\n"), Step::Expect(), Step::Stall()}));
  ConnectToScript();
  ASSERT_TRUE(frame.Create("Tarvik"));
  FinishCheck(platform, frame);
  EXPECT_EQ(IDI_NOTCONNECTED, frame.Icon().pictureId);
  platform.SendToFrame(WM_TRAY_NOTIFY, 2000, win::kWmLButtonDblClk);
  FinishCheck(platform, frame);
  platform.Tick(30);
  FinishCheck(platform, frame);
  EXPECT_EQ(3, server.Connections()) << "start-up, the double click and the schedule each checked";
}

TEST_F(AfterATimeoutTest, NoServerListeningAndNoSuchHostAreTold) {
  ASSERT_TRUE(server.Start(StandardSession("+OK 0 0\r\n")));
  Start();
  ConnectToScript();
  server.Stop();
  RunCheck(platform, frame);
  EXPECT_EQ("Couldn't connect to POP3 server!", frame.Icon().tip);
  EXPECT_EQ(IDI_NOTCONNECTED, frame.Icon().pictureId);
  platform.transports = [this] { return earlier.NewSession(); };
  RunCheck(platform, frame);
  ASSERT_EQ(IDI_NEWMAIL, frame.Icon().pictureId);
  ConnectToScript();
  ChangeSettings(frame, [&](MailSettings& s) { s.m_strServer = "no such host.invalid"; });
  RunCheck(platform, frame);
  EXPECT_EQ("Couldn't resolve POP3 name!", frame.Icon().tip);
  EXPECT_EQ(IDI_NOTCONNECTED, frame.Icon().pictureId);
}

}  // namespace
