#include "script_server.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <memory>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Blocking loopback client; reads give up after 5 s so a broken server fails
// the test instead of hanging it.
class Client {
 public:
  explicit Client(uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    const timeval timeout{5, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = ::connect(fd_, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
  }
  ~Client() { ::close(fd_); }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  bool connected() const { return connected_; }

  void Send(const std::string& bytes) {
    ASSERT_EQ(::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(bytes.size()));
  }

  // One recv: the byte count, 0 at end of stream, -1 with errno set.
  ssize_t Receive(std::string& into) {
    char chunk[256];
    const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
    if (n > 0) into.append(chunk, static_cast<size_t>(n));
    return n;
  }

  // Everything up to and including the next LF, or what came before the end.
  std::string ReadLine() {
    std::string line;
    char c = 0;
    while (line.find('\n') == std::string::npos && ::recv(fd_, &c, 1, 0) == 1) line += c;
    return line;
  }

  std::string Converse(const std::string& line) {
    Send(line);
    return ReadLine();
  }

 private:
  int fd_;
  bool connected_ = false;
};

int OpenFdCount() {
  int count = 0;
  DIR* dir = ::opendir("/proc/self/fd");
  while (::readdir(dir) != nullptr) ++count;
  ::closedir(dir);
  return count;
}

long long ElapsedMs(Clock::time_point since) {
  return std::chrono::duration_cast<milliseconds>(Clock::now() - since).count();
}

TEST(ScriptServerTest, StandardSessionIsReplayedForEachConnection) {
  ScriptServer server;
  ASSERT_TRUE(server.Start(StandardSession("+OK 1 320\r\n")));
  {
    Client client(server.Port());
    ASSERT_TRUE(client.connected());
    EXPECT_EQ(client.ReadLine(), "+OK fake POP3 ready\r\n");
    EXPECT_EQ(client.Converse("USER alice\r\n"), "+OK\r\n");
    EXPECT_EQ(client.Converse("PASS secret\r\n"), "+OK logged in\r\n");
    EXPECT_EQ(client.Converse("STAT\r\n"), "+OK 1 320\r\n");
    const auto reply = [&client](const std::string& command, int lines) {
      std::string text = client.Converse(command);
      for (int i = 1; i < lines; ++i) text += client.ReadLine();
      return text;
    };
    EXPECT_EQ(reply("UIDL\r\n", 3), "+OK\r\n1 fake-1\r\n.\r\n");
    EXPECT_EQ(reply("TOP 1 0\r\n", 5),
              "+OK\r\nFrom: Fake Sender <fake@example.test>\r\nSubject: Message 1\r\n\r\n.\r\n");
    EXPECT_EQ(client.Converse("QUIT\r\n"), "+OK bye\r\n");
    std::string rest;
    EXPECT_EQ(client.Receive(rest), 0) << "expected FIN, got '" << rest << "'";
  }
  {
    Client client(server.Port());
    EXPECT_EQ(client.ReadLine(), "+OK fake POP3 ready\r\n");
    EXPECT_EQ(client.Converse("USER bob\r\n"), "+OK\r\n");
  }
  EXPECT_EQ(server.Transcript(),
            (std::vector<std::string>{"USER alice", "PASS secret", "STAT", "UIDL", "TOP 1 0", "QUIT",
                                      "USER bob"}));
  EXPECT_EQ(server.Connections(), 2);
}

TEST(ScriptServerTest, ReplyDelayHoldsBackGreetingAndReplies) {
  ScriptServer server;
  ASSERT_TRUE(server.Start(StandardSession("+OK 0 0\r\n", 150)));
  auto start = Clock::now();
  Client client(server.Port());
  EXPECT_EQ(client.ReadLine(), "+OK fake POP3 ready\r\n");
  EXPECT_GE(ElapsedMs(start), 150);
  start = Clock::now();
  EXPECT_EQ(client.Converse("USER a\r\n"), "+OK\r\n");
  EXPECT_GE(ElapsedMs(start), 150);
}

TEST(ScriptServerTest, PipelinedLinesAreSplitAtEachLineFeed) {
  ScriptServer server;
  ASSERT_TRUE(server.Start({ScriptStep::Expect(), ScriptStep::Expect(), ScriptStep::Expect(),
                            ScriptStep::Send("+OK\r\n")}));
  Client client(server.Port());
  EXPECT_EQ(client.Converse("USER a\r\nbare\n\r\n"), "+OK\r\n");
  EXPECT_EQ(server.Transcript(), (std::vector<std::string>{"USER a", "bare", ""}));
}

TEST(ScriptServerTest, SendSplitDeliversEachByteInItsOwnSegment) {
  const std::string text("+O\0K\r\n", 6);
  constexpr int kGapMs = 40;
  ScriptServer server;
  ASSERT_TRUE(server.Start({ScriptStep::SendSplit(text, kGapMs)}));
  Client client(server.Port());
  std::string received;
  const auto start = Clock::now();
  while (received.size() < text.size()) {
    ASSERT_EQ(client.Receive(received), 1) << "after '" << received << "'";
  }
  EXPECT_EQ(received, text);
  EXPECT_GE(ElapsedMs(start), (static_cast<long long>(text.size()) - 1) * kGapMs - 5);
}

TEST(ScriptServerTest, ResetIsSeenAsConnectionReset) {
  ScriptServer server;
  ASSERT_TRUE(
      server.Start({ScriptStep::Send("+OK\r\n"), ScriptStep::Expect(), ScriptStep::Reset()}));
  Client client(server.Port());
  EXPECT_EQ(client.Converse("QUIT\r\n"), "+OK\r\n");
  std::string rest;
  EXPECT_EQ(client.Receive(rest), -1);
  EXPECT_EQ(errno, ECONNRESET);
}

TEST(ScriptServerTest, ExpectTimeoutEndsTheScriptWithoutRecording) {
  ScriptServer server;
  ASSERT_TRUE(server.Start({ScriptStep::Expect(100), ScriptStep::Send("too late\r\n")}));
  Client client(server.Port());
  client.Send("no line end");
  std::string rest;
  EXPECT_EQ(client.Receive(rest), 0) << "got '" << rest << "'";
  EXPECT_TRUE(server.Transcript().empty());
}

TEST(ScriptServerTest, StopReturnsPromptlyWhileAStepWaits) {
  const std::vector<std::vector<ScriptStep>> scripts = {
      {ScriptStep::Send("+OK\r\n"), ScriptStep::Stall()},
      {ScriptStep::Send("+OK\r\n"), ScriptStep::Expect(60000)},
      {ScriptStep::Send("+OK\r\n"), ScriptStep::Delay(60000)},
      {ScriptStep::SendSplit("+OK\r\n", 60000)},
  };
  for (size_t i = 0; i < scripts.size(); ++i) {
    SCOPED_TRACE("script " + std::to_string(i));
    ScriptServer server;
    ASSERT_TRUE(server.Start(scripts[i]));
    Client client(server.Port());
    std::string received;
    ASSERT_GT(client.Receive(received), 0);
    const auto start = Clock::now();
    server.Stop();
    EXPECT_LT(ElapsedMs(start), 500);
    ssize_t n = 0;
    while ((n = client.Receive(received)) > 0) {
    }
    EXPECT_EQ(n, 0) << "expected FIN after Stop";
  }
}

TEST(ScriptServerTest, NoDescriptorLeaksAfterStopRestartOrFailedStart) {
  const int before = OpenFdCount();
  {
    auto server = std::make_unique<ScriptServer>();
    ASSERT_TRUE(server->Start(StandardSession("+OK 0 0\r\n")));
    {
      Client client(server->Port());
      EXPECT_EQ(client.ReadLine(), "+OK fake POP3 ready\r\n");
    }
    server->Stop();
    ASSERT_TRUE(server->Start({ScriptStep::Send("+OK\r\n"), ScriptStep::Stall()}));
    ScriptServer rival;
    EXPECT_FALSE(rival.Start({}, server->Port()));
    Client stalled(server->Port());
    EXPECT_EQ(stalled.ReadLine(), "+OK\r\n");
    const auto start = Clock::now();
    server.reset();
    EXPECT_LT(ElapsedMs(start), 500);
  }
  EXPECT_EQ(OpenFdCount(), before);
}

TEST(ParseScriptTest, ReadsEveryStepKind) {
  const std::string text =
      "# greeting first\r\n"
      "send +OK hi\\r\\n\r\n"
      "\n"
      "  sendsplit 20  a\\x00\\\\\\t\n"
      "expect\n"
      "expect 250\n"
      "delay 15\n"
      "close\n"
      "reset\n"
      "stall\n";
  std::vector<ScriptStep> steps;
  std::string error;
  ASSERT_TRUE(ParseScript(text, steps, error)) << error;
  using Kind = ScriptStep::Kind;
  ASSERT_EQ(steps.size(), 8u);
  EXPECT_EQ(steps[0].kind, Kind::Send);
  EXPECT_EQ(steps[0].bytes, "+OK hi\r\n");
  EXPECT_EQ(steps[1].kind, Kind::SendSplit);
  EXPECT_EQ(steps[1].ms, 20);
  EXPECT_EQ(steps[1].bytes, std::string(" a\0\\\t", 5));
  EXPECT_EQ(steps[2].kind, Kind::Expect);
  EXPECT_EQ(steps[2].ms, ScriptStep::kDefaultExpectTimeoutMs);
  EXPECT_EQ(steps[3].ms, 250);
  EXPECT_EQ(steps[4].kind, Kind::Delay);
  EXPECT_EQ(steps[4].ms, 15);
  EXPECT_EQ(steps[5].kind, Kind::Close);
  EXPECT_EQ(steps[6].kind, Kind::Reset);
  EXPECT_EQ(steps[7].kind, Kind::Stall);
}

TEST(ParseScriptTest, ErrorsNameTheLineAndLeaveOutputAlone) {
  const struct {
    const char* text;
    const char* error;
  } cases[] = {
      {"send +OK\\r\\n\nfrobnicate\n", "line 2: unknown step 'frobnicate'"},
      {"send bad \\q\n", "line 1: unknown escape \\q"},
      {"\n\nsend \\x4\n", "line 3: \\x needs two hex digits"},
      {"send \\x4g\n", "line 1: \\x needs two hex digits"},
      {"send trailing \\\n", "line 1: backslash at end of text"},
      {"send\n", "line 1: missing text"},
      {"sendsplit fast abc\n", "line 1: sendsplit needs a delay in ms, then text"},
      {"delay -5\n", "line 1: delay needs a time in ms"},
      {"expect soon\n", "line 1: expect takes an optional timeout in ms"},
      {"close now\n", "line 1: close takes no argument"},
  };
  for (const auto& c : cases) {
    std::vector<ScriptStep> steps = {ScriptStep::Stall()};
    std::string error;
    EXPECT_FALSE(ParseScript(c.text, steps, error)) << c.text;
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(steps.size(), 1u);
  }
}

}  // namespace
