// The whole check over real loopback TCP against a scripted server, for what
// only real sockets show: TCP splitting and joining bytes, silence, resets.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "agent/main_frame.h"
#include "platform/posix/posix_transport.h"
#include "platform/win_constants.h"
#include "res/resource.h"
#include "script_server.h"
#include "tests/double/fake_platform.h"
#include "tests/double/redirect_transport.h"

namespace {

using Lines = std::vector<std::string>;
using Step = ScriptStep;

constexpr int kShortTimeoutMs = 300;

class ScriptedServerTest : public ::testing::Test {
 protected:
  ScriptedServerTest() {
    platform.files["C:\\Tools\\tarvik.ini"] =
        "127.0.0.1\r\nalice\r\nsecret\r\n5\r\nFALSE\r\n\r\nFALSE\r\n\r\nTRUE\r\nerr."
        "wav\r\nTRUE\r\n";
    platform.transports = [this] {
      return std::make_unique<RedirectTransport>(CreatePosixTransport(), server.Port(),
                                                 kShortTimeoutMs);
    };
  }

  // Starts the frame, whose first check talks to a server playing script.
  void CheckWith(std::vector<ScriptStep> script) {
    ASSERT_TRUE(server.Start(std::move(script)));
    ASSERT_TRUE(frame.Create("Tarvik"));
  }
  CheckResult CheckAgain() { return frame.CheckMail(); }
  // The server records a line on its own thread: give it a moment to catch up.
  Lines Transcript(size_t lines) const {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (server.Transcript().size() < lines && std::chrono::steady_clock::now() < limit)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return server.Transcript();
  }
  std::string Tip() const { return frame.m_nid.szTip; }
  int Picture() const { return FakePlatform::IconId(frame.m_nid.hIcon); }
  Lines Boxes() const {
    Lines texts;
    for (const MessageBoxCall& box : platform.boxes) texts.push_back(box.text);
    return texts;
  }

  FakePlatform platform;
  ScriptServer server;
  CMainFrame frame{platform, nullptr};
};

TEST_F(ScriptedServerTest, StandardSessionsShowTheirCounts) {
  CheckWith(StandardSession("+OK 12 4096\r\n"));
  EXPECT_EQ("You have 12 messages waiting", Tip());
  EXPECT_EQ(IDI_NEWMAIL, Picture());
  EXPECT_EQ(Lines{"You have 12 messages waiting"}, Boxes());
  EXPECT_EQ((Lines{"USER alice", "PASS secret", "STAT", "QUIT"}), Transcript(4));
}

TEST_F(ScriptedServerTest, RepliesSplitOneBytePerSegmentReadTheSame) {
  std::vector<Step> script;
  for (const char* reply : {"+OK hi\r\n", "+OK\r\n", "+OK in\r\n", "+OK 1 10\r\n"}) {
    if (!script.empty()) script.push_back(Step::Expect());
    script.push_back(Step::SendSplit(reply, 2));
  }
  script.push_back(Step::Expect());
  CheckWith(script);
  EXPECT_EQ("You have 1 message waiting", Tip());
  EXPECT_EQ(4u, Transcript(4).size());
}

TEST_F(ScriptedServerTest, AnExtraLineAfterTheGreetingIsNotTakenForAReply) {
  CheckWith({Step::Send("+OK hi\r\n+OK extra line\r\n"), Step::Expect(),
             Step::Send("-ERR unknown user\r\n"), Step::Expect()});
  EXPECT_EQ(Lines{"Incorrect user name!"}, Boxes());
  EXPECT_EQ((Lines{"USER alice", "QUIT"}), Transcript(2));
}

TEST_F(ScriptedServerTest, TwoRepliesInOneSegmentGiveOnlyTheFirstLine) {
  CheckWith({Step::Send("+OK hi\r\n"), Step::Expect(), Step::Send("+OK\r\n"), Step::Expect(),
             Step::Send("+OK\r\n"), Step::Expect(), Step::Send("+OK 2 99\r\n+OK bye\r\n"),
             Step::Expect()});
  EXPECT_EQ("You have 2 messages waiting", Tip());
  EXPECT_EQ(4u, Transcript(4).size());
}

TEST_F(ScriptedServerTest, ASilentServerTimesOutAndTheCheckEnds) {
  CheckWith({Step::Stall()});
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(kCheckConnectFailed, CheckAgain());
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
  EXPECT_EQ("Couldn't connect to POP3 server!", Tip());
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(ScriptedServerTest, AServerStallingMidReplyFailsThatStepWithoutABox) {
  CheckWith({Step::Send("+OK hi\r\n"), Step::Expect(), Step::Send("+OK\r\n"), Step::Expect(),
             Step::Send("+OK\r\n"), Step::Expect(), Step::Send("+OK 3 "), Step::Stall()});
  EXPECT_EQ(IDI_NOTCONNECTED, Picture());
  EXPECT_EQ("Not connected", Tip());
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(Lines{"sound err.wav " + std::to_string(win::kSndFilename | win::kSndAsync)},
            platform.EventsStartingWith("sound"));
}

TEST_F(ScriptedServerTest, EndingTheConnectionAtEachStepFailsThatStep) {
  const std::pair<size_t, CheckResult> steps[] = {{0, kCheckConnectFailed},
                                                  {1, kCheckUserFailed},
                                                  {2, kCheckPassFailed},
                                                  {3, kCheckStatFailed}};
  const std::string replies[] = {"+OK hi\r\n", "+OK\r\n", "+OK\r\n"};
  for (const Step& end : {Step::Close(), Step::Reset()}) {
    for (const bool midLine : {false, true}) {
      for (const auto& [answered, code] : steps) {
        std::vector<Step> script;
        for (size_t i = 0; i < answered; ++i) {
          script.push_back(Step::Send(replies[i]));
          script.push_back(Step::Expect());
        }
        if (midLine) script.push_back(Step::Send("+OK 1"));
        script.push_back(end);
        ScriptServer ending;
        ASSERT_TRUE(ending.Start(script));
        RedirectTransport transport(CreatePosixTransport(), ending.Port(), kShortTimeoutMs);
        class : public CheckPresenter {
          void OnResolveFailed() override {}
          void OnConnectFailed() override {}
          void OnUserRejected() override { ADD_FAILURE() << "no reply is a rejection"; }
          void OnPasswordRejected() override { ADD_FAILURE() << "no reply is a rejection"; }
          void OnMailboxCount(const std::string&, int) override { ADD_FAILURE(); }
        } presenter;
        EXPECT_EQ(code,
                  RunMailCheck(transport, {"127.0.0.1", "u", "p"}, kShortTimeoutMs, presenter))
            << answered << (midLine ? " mid-line" : "");
      }
    }
  }
}

TEST_F(ScriptedServerTest, ARejectedPasswordStaysARejectionWhenTheServerHangsUp) {
  CheckWith({Step::Send("+OK hi\r\n"), Step::Expect(), Step::Send("+OK\r\n"), Step::Expect(),
             Step::Send("-ERR [AUTH] invalid password\r\n"), Step::Reset()});
  EXPECT_EQ(Lines{"Incorrect password or user name!"}, Boxes());
  EXPECT_EQ(IDI_NOTCONNECTED, Picture());
  EXPECT_EQ((Lines{"USER alice", "PASS secret"}), Transcript(2));
}

TEST_F(ScriptedServerTest, TheCountStaysShownWhenQuitGoesUnanswered) {
  CheckWith({Step::Send("+OK hi\r\n"), Step::Expect(), Step::Send("+OK\r\n"), Step::Expect(),
             Step::Send("+OK\r\n"), Step::Expect(), Step::Send("+OK 5 500\r\n"), Step::Expect(),
             Step::Stall()});
  EXPECT_EQ("You have 5 messages waiting", Tip());
  EXPECT_EQ(IDI_NEWMAIL, Picture());
}

TEST_F(ScriptedServerTest, NoServerListeningAndNoSuchHostAreTold) {
  CheckWith(StandardSession("+OK 0 0\r\n"));
  server.Stop();
  EXPECT_EQ(kCheckConnectFailed, CheckAgain());
  EXPECT_EQ("Couldn't connect to POP3 server!", Tip());
  frame.m_strServer = "no such host.invalid";
  EXPECT_EQ(kCheckResolveFailed, CheckAgain());
  EXPECT_EQ("Couldn't resolve POP3 name!", Tip());
}

}  // namespace
