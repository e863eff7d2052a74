#include "check/pop3/pop3_channel.h"

#include <gtest/gtest.h>

#include <chrono>

#include "platform/posix/posix_transport.h"
#include "script_server.h"
#include "tests/double/memory_transport.h"

namespace {

struct Channel {
  explicit Channel(MemoryServer& server)
      : transport(server.NewSession()), channel(*transport, 1000) {}
  ReplyStatus Read() { return channel.ReadReply(line); }

  std::unique_ptr<Transport> transport;
  Pop3Channel channel;
  std::string line;
};

TEST(ReplyClassification, OnlyTheFirstThreeCharactersCountCaseSensitively) {
  EXPECT_EQ(ReplyStatus::kPositive, ClassifyReply("+OK"));
  EXPECT_EQ(ReplyStatus::kPositive, ClassifyReply("+OK 3 320"));
  EXPECT_EQ(ReplyStatus::kPositive, ClassifyReply("+OKAY"));
  EXPECT_EQ(ReplyStatus::kNegative, ClassifyReply("+ok"));
  EXPECT_EQ(ReplyStatus::kNegative, ClassifyReply("+O"));
  EXPECT_EQ(ReplyStatus::kNegative, ClassifyReply("-ERR [AUTH] no"));
  EXPECT_EQ(ReplyStatus::kNegative, ClassifyReply("-ERRx"));
  EXPECT_EQ(ReplyStatus::kNegative, ClassifyReply(""));
  EXPECT_EQ(ReplyStatus::kNegative, ClassifyReply(std::string("\0+OK", 4)));
}

TEST(Pop3Channel, AReplyIsOneLineHoweverTheBytesArrive) {
  MemoryServer server;
  for (char c : std::string("+OK hello\r\n")) server.Reply(0, std::string(1, c));
  Channel one(server);
  EXPECT_EQ(ReplyStatus::kPositive, one.Read());
  EXPECT_EQ("+OK hello", one.line);
}

TEST(Pop3Channel, LineEndsAreCrLfOrABareLf) {
  MemoryServer server;
  server.Reply(0, "+OK bare\n");
  server.Reply(1, "+OK with\rinner CR\r\n");
  Channel one(server);
  EXPECT_EQ(ReplyStatus::kPositive, one.Read());
  EXPECT_EQ("+OK bare", one.line);
  ASSERT_TRUE(one.channel.SendCommand("NOOP"));
  EXPECT_EQ(ReplyStatus::kPositive, one.Read());
  EXPECT_EQ("+OK with\rinner CR", one.line);
}

TEST(Pop3Channel, WhatArrivedBeforeACommandIsNeverTakenAsItsReply) {
  MemoryServer server;
  server.Reply(0, "+OK hello\r\n+OK unsolicited\r\n");
  server.Reply(0, "-ERR also early\r\n");
  server.Reply(1, "-ERR the real reply\r\n");
  Channel one(server);
  EXPECT_EQ(ReplyStatus::kPositive, one.Read());
  EXPECT_EQ("+OK hello", one.line);
  ASSERT_TRUE(one.channel.SendCommand("USER x"));
  EXPECT_EQ(ReplyStatus::kNegative, one.Read());
  EXPECT_EQ("-ERR the real reply", one.line);
}

TEST(Pop3Channel, ReadsNoFurtherThanTheEndOfTheLine) {
  MemoryServer server;
  server.Reply(0, "+OK 3 320\r\n+OK bye\r\n");
  Channel one(server);
  EXPECT_EQ(ReplyStatus::kPositive, one.Read());
  EXPECT_EQ("+OK 3 320", one.line);
  EXPECT_EQ(ReplyStatus::kPositive, one.Read()) << "the next line stays for the next read";
  EXPECT_EQ("+OK bye", one.line);
}

TEST(Pop3Channel, LinesUpToTheBufferAreReadLongerOnesFail) {
  const std::string fits(Pop3Channel::kMaxReplyLength - 2, 'x');
  for (const std::string& body : {std::string(510, 'x'), std::string(511, 'x'), fits}) {
    MemoryServer server;
    server.Reply(0, "+OK" + body.substr(3) + "\r\n");
    Channel one(server);
    EXPECT_EQ(ReplyStatus::kPositive, one.Read()) << body.size();
    EXPECT_EQ(body.size(), one.line.size());
  }
  for (size_t length : {Pop3Channel::kMaxReplyLength - 1, size_t{64 * 1024}}) {
    MemoryServer server;
    server.Reply(0, "+OK" + std::string(length - 3, 'y') + "\r\n");
    Channel one(server);
    EXPECT_EQ(ReplyStatus::kNone, one.Read()) << length;
  }
}

TEST(Pop3Channel, NoCompleteLineIsNoReply) {
  MemoryServer closedMidLine;
  closedMidLine.Reply(0, "+OK half");
  EXPECT_EQ(ReplyStatus::kNone, Channel(closedMidLine).Read());

  MemoryServer silent;
  silent.end = MemoryServer::End::kSilence;
  EXPECT_EQ(ReplyStatus::kNone, Channel(silent).Read());

  MemoryServer failing;
  failing.Reply(0, "+OK").end = MemoryServer::End::kError;
  EXPECT_EQ(ReplyStatus::kNone, Channel(failing).Read());
}

// Each receive waits only for what is left of the reply's limit: a reply that
// starts late and then stalls mid-line fails at the limit, not later.
TEST(Pop3Channel, AReplyStallingMidLineFailsWithinItsLimit) {
  constexpr int kLimitMs = 300;
  constexpr int kLateMs = kLimitMs * 9 / 10;
  ScriptServer server;
  ASSERT_TRUE(server.Start(
      {ScriptStep::Delay(kLateMs), ScriptStep::Send("+OK lo"), ScriptStep::Stall()}));
  const std::unique_ptr<Transport> transport = CreatePosixTransport();
  ASSERT_TRUE(transport->Startup());
  ASSERT_TRUE(transport->Resolve("127.0.0.1", server.Port(), 1000));
  ASSERT_EQ(ConnectResult::kConnected, transport->Connect(1000));
  Pop3Channel channel(*transport, kLimitMs);
  std::string line;
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(ReplyStatus::kNone, channel.ReadReply(line));
  const auto elapsed = std::chrono::steady_clock::now() - started;
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(),
            kLimitMs + kLateMs * 3 / 4);
  transport->CloseSocket();
  transport->Cleanup();
}

TEST(Pop3Channel, CommandsWithLineBreaksOrNulOrTooLongAreNeverSent) {
  MemoryServer server;
  Channel one(server);
  EXPECT_FALSE(one.channel.SendCommand("PASS a\r\nDELE 1"));
  EXPECT_FALSE(one.channel.SendCommand("PASS a\nb"));
  EXPECT_FALSE(one.channel.SendCommand("PASS a\rb"));
  EXPECT_FALSE(one.channel.SendCommand(std::string("USER a\0b", 8)));
  EXPECT_FALSE(one.channel.SendCommand("USER " + std::string(249, 'a')))
      << "256 bytes with the line end";
  EXPECT_TRUE(server.transcript.empty());
  EXPECT_TRUE(one.channel.SendCommand("USER "));
  EXPECT_TRUE(one.channel.SendCommand("USER " + std::string(248, 'a')))
      << "255 bytes with the line end";
  EXPECT_EQ((std::vector<std::string>{"USER ", "USER " + std::string(248, 'a')}),
            server.transcript);
}

}  // namespace
