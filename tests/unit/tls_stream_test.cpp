#include <gtest/gtest.h>

#include <algorithm>

#include "check/pop3/pop3_check.h"
#include "tests/double/scripted_tls.h"

namespace {

class CountHandover : public OutcomeHandover {
 public:
  void PresentBeforeQuit(const CheckOutcome& outcome) override { count = outcome.count; }
  int count = -1;
};

std::string Data(const std::string& text) { return Record('D', text); }

// The security provider's sequences as Windows returns them, each through a
// whole check over the real TLS stream.
TEST(TlsStream, EveryProviderSequenceEndsInTheRightOutcome) {
  const std::string done = Record('H', "done");
  const std::string ticket = Record('T', "ticket");
  using Wire = std::vector<MemoryServer::Chunk>;
  const Wire afterGreeting = {{1, Data("+OK\r\n")},
                              {2, Data("+OK logged in\r\n")},
                              {3, Data("+OK 3 320\r\n")},
                              {4, Data("+OK bye\r\n")}};
  auto pop3s = [&](const std::string& handshake, const Wire& rest = Wire()) {
    Wire wire{{0, handshake}};
    wire.insert(wire.end(), rest.empty() ? afterGreeting.begin() : rest.begin(),
                rest.empty() ? afterGreeting.end() : rest.end());
    return wire;
  };
  // Plain text until STLS; every later reply comes one command later.
  Wire stls = {{0, "+OK ready\r\n"},
               {1, "+OK begin TLS\r\n"},
               {1, Record('H', "continue")},
               {1, done + ticket + ticket}};
  for (const MemoryServer::Chunk& chunk : afterGreeting)
    stls.push_back({chunk.afterCommands + 1, chunk.bytes});

  const struct {
    const char* what;
    const char* server;
    Wire wire;
    bool byteAtATime;
    CheckResult result;
    int count;  // -1 when none was shown
  } cases[] = {
      {"tickets after the handshake, first met by the poll before USER; extra input after the "
       "last handshake message",
       "pop3s://mail.example.com", pop3s(done + Data("+OK ready\r\n") + ticket + ticket), false,
       kCheckCompleted, 3},
      {"a HelloRequest met by the poll before USER, the server's answer a read away",
       "pop3s://mail.example.com",
       pop3s(done + Data("+OK ready\r\n") + Record('T', "hello request"),
             {{0, done},
              {1, Data("+OK\r\n")},
              {2, Data("+OK logged in\r\n")},
              {3, Data("+OK 3 320\r\n")}}),
       false, kCheckCompleted, 3},
      {"the same after STLS", "pop3+starttls://mail.example.com", stls, false, kCheckCompleted, 3},
      {"a renegotiation in the middle of a reply; records after a record",
       "pop3s://mail.example.com",
       pop3s(done + Data("+OK ready\r\n"),
             {{1, Data("+OK\r\n")},
              {2, Data("+OK logged in\r\n")},
              {3, Data("+OK 3") + ticket + Data(" 320\r\n")},
              {4, Data("+OK bye\r\n")}}),
       false, kCheckCompleted, 3},
      {"empty records before and inside a reply", "pop3s://mail.example.com",
       pop3s(done + Data("") + Data("+OK ready\r\n"),
             {{1, Data("") + Data("+OK\r\n")},
              {2, Data("+OK logged in\r\n")},
              {3, Data("+OK 3") + Data("") + Data(" 320\r\n")},
              {4, Data("+OK bye\r\n")}}),
       false, kCheckCompleted, 3},
      {"every record split at every byte", "pop3s://mail.example.com",
       pop3s(Record('H', "continue") + done + Data("+OK ready\r\n") + ticket), true,
       kCheckCompleted, 3},
      {"close_notify between replies", "pop3s://mail.example.com",
       pop3s(done + Data("+OK ready\r\n"),
             {{1, Data("+OK\r\n")},
              {2, Data("+OK logged in\r\n")},
              {3, Data("+OK 3 320\r\n") + Record('C', "")}}),
       false, kCheckCompleted, 3},
      {"a client certificate asked for once", "pop3s://mail.example.com",
       pop3s(Record('H', "credentials") + Data("+OK ready\r\n")), false, kCheckCompleted, 3},
      {"a client certificate asked for again and again", "pop3s://mail.example.com",
       pop3s(Record('H', "credentials always") + done + Data("+OK ready\r\n")), false,
       kCheckSecureFailed, -1},
      {"a renegotiation that presents an untrusted certificate", "pop3s://mail.example.com",
       pop3s(done + Data("+OK ready\r\n") + Record('T', "untrusted")), false, kCheckUntrusted, -1},
  };
  for (const auto& c : cases) {
    std::vector<std::string> commands;
    const std::unique_ptr<Transport> transport =
        ScriptedTlsTransport(c.wire, c.byteAtATime, commands);
    CountHandover handover;
    const CheckOutcome outcome = RunMailCheck(
        *transport, MailAccount{c.server, "alice", "secret"}, kNetworkTimeoutMs, handover);
    EXPECT_EQ(c.result, outcome.result) << c.what;
    EXPECT_EQ(c.count, handover.count) << c.what;
    if (c.count < 0)
      EXPECT_EQ(0, std::count(commands.begin(), commands.end(), "USER alice"))
          << c.what << ": nothing of the user's is sent";
    else
      EXPECT_EQ("QUIT", commands.empty() ? "" : commands.back()) << c.what;
  }
}

}  // namespace
