#include "check/pop3/pop3_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <optional>

#include "check/imap/imap_session.h"
#include "check/signin/xoauth2.h"
#include "log/event_log.h"
#include "platform/posix/posix_transport.h"
#include "script_server.h"
#include "tests/double/fake_platform.h"
#include "tests/double/memory_transport.h"

namespace {

using Lines = std::vector<std::string>;

std::string Describe(const CheckOutcome& outcome) {
  switch (outcome.kind) {
    case OutcomeKind::kMailboxCount:
      return "count " + outcome.countText + " = " + std::to_string(outcome.count);
    case OutcomeKind::kUserRejected:
      return "user rejected";
    case OutcomeKind::kPasswordRejected:
      return "password rejected";
    case OutcomeKind::kTokenRefused:
      return "token refused: " + outcome.refusal;
    case OutcomeKind::kResolveFailed:
      return "resolve failed";
    case OutcomeKind::kConnectFailed:
      return "connect failed";
    case OutcomeKind::kSecureFailed:
      return "secure failed";
    case OutcomeKind::kUntrusted:
      return "untrusted";
    case OutcomeKind::kPasswordNeeded:
      return "password needed";
    case OutcomeKind::kSignInNeeded:
      return "sign-in needed";
    case OutcomeKind::kLoginUnsendable:
      return "login unsendable";
    case OutcomeKind::kStepFailed:
      return "failed";
    case OutcomeKind::kEnded:
      return "ended";
    case OutcomeKind::kNoServer:
      return "no server";
    case OutcomeKind::kLoginDisabled:
      return "login disabled";
  }
  return "?";
}

// What the conversation told, in order: what it handed over before QUIT, then
// what it returned unless that was the plain end.
class RecordingHandover : public OutcomeHandover {
 public:
  void PresentBeforeQuit(const CheckOutcome& outcome) override {
    EXPECT_EQ(kCheckCompleted, outcome.result);
    calls.push_back(Describe(outcome));
    last = outcome;
    form = outcome.loginForm;
  }
  Lines calls;
  CheckOutcome last;
  LoginForm form = LoginForm::kUnknown;
};

struct Check {
  CheckResult Run(const MailAccount& account = {"pop.example.com", "alice", "secret"}) {
    std::unique_ptr<Transport> transport = server.NewSession();
    const CheckOutcome last = RunMailCheck(*transport, account, 1000, presenter, basis);
    EXPECT_EQ(last.kind == OutcomeKind::kEnded, last.result == kCheckCompleted);
    if (last.kind != OutcomeKind::kEnded && last.kind != OutcomeKind::kStepFailed)
      presenter.calls.push_back(Describe(last));
    return last.result;
  }
  // Every path leaves the socket closed and the sockets layer released.
  void ExpectCleanedUp() const {
    EXPECT_EQ(server.socketsOpened, server.socketsClosed);
    EXPECT_EQ(server.startups, server.cleanups);
  }

  MemoryServer server;
  RecordingHandover presenter;
  NewMailBasis basis;
};

Check With(MemoryServer server) {
  Check check;
  check.server = std::move(server);
  return check;
}

// With three messages on a server without UIDL, all three are new at the
// first check.
const Lines kWholeConversation = {"USER alice", "PASS secret", "STAT",    "UIDL",
                                  "TOP 3 0",    "TOP 2 0",     "TOP 1 0", "QUIT"};

TEST(MailCheck, CompletedConversationReportsTheCount) {
  Check check = With(MemoryServer::Standard("+OK 3 4096\r\n"));
  EXPECT_EQ(kCheckCompleted, check.Run());
  EXPECT_EQ(kWholeConversation, check.server.transcript);
  EXPECT_EQ(Lines{"count 3 = 3"}, check.presenter.calls);
  EXPECT_EQ("pop.example.com", check.server.host);
  EXPECT_EQ(110, check.server.port);
  check.ExpectCleanedUp();
}

TEST(MailCheck, CountFieldIsTheSecondFieldWithoutTheLineEnd) {
  const std::pair<const char*, const char*> cases[] = {
      {"+OK 0 0\r\n", "count 0 = 0"},
      {"+OK 1 120\r\n", "count 1 = 1"},
      {"+OK 3\r\n", "count 3 = 3"},
      {"+OK   3   320\r\n", "count 3 = 3"},
      {"+OK -1 0\r\n", "count -1 = -1"},
      {"+OK 007 9\r\n", "count 007 = 7"},
      {"+OK x y\r\n", "count x = 0"},
      {"+OK 3 320 extra text\r\n", "count 3 = 3"},
      {"+OK 3 4294967400\r\n", "count 3 = 3"},
      {"+OK 99999999999999999999999 1\r\n", "count 99999999999999999999999 = 2147483647"},
      {"+OKAY 5 1\r\n", "count 5 = 5"},
      {"+OK 4\n", "count 4 = 4"},
  };
  for (const auto& [reply, expected] : cases) {
    Check check = With(MemoryServer::Standard(reply));
    EXPECT_EQ(kCheckCompleted, check.Run()) << reply;
    EXPECT_EQ(Lines{expected}, check.presenter.calls) << reply;
  }
}

TEST(MailCheck, StatWithoutACountOrRefusedIsRejectedWithoutQuit) {
  for (const char* reply : {"+OK\r\n", "+OK \r\n", "+OK    \r\n", "-ERR busy\r\n", "+ok 3 1\r\n"}) {
    Check check = With(MemoryServer::Standard(reply));
    EXPECT_EQ(kCheckStatRejected, check.Run()) << reply;
    EXPECT_EQ((Lines{"USER alice", "PASS secret", "STAT"}), check.server.transcript);
    EXPECT_TRUE(check.presenter.calls.empty());
    check.ExpectCleanedUp();
  }
}

TEST(MailCheck, RejectedUserNameIsToldThenTheConversationEndsNormally) {
  MemoryServer server;
  server.Reply(0, "+OK hi\r\n").Reply(1, "-ERR [AUTH] who?\r\n");
  Check check = With(server);
  EXPECT_EQ(kCheckCompleted, check.Run());
  EXPECT_EQ((Lines{"USER alice", "QUIT"}), check.server.transcript);
  EXPECT_EQ(Lines{"user rejected"}, check.presenter.calls);
  check.ExpectCleanedUp();
}

TEST(MailCheck, RejectedPasswordIsToldAndEndsWithoutQuit) {
  for (const char* reply : {"-ERR\r\n", "-ERR [AUTH] bad\r\n", "-ERR [SYS/TEMP] later\r\n",
                            "-ERR [IN-USE] locked\r\n"}) {
    MemoryServer server;
    // The server closes right after refusing: still a refusal, not a lost connection.
    server.Reply(0, "+OK hi\r\n").Reply(1, "+OK\r\n").Reply(2, reply);
    Check check = With(server);
    EXPECT_EQ(kCheckPassRejected, check.Run()) << reply;
    EXPECT_EQ((Lines{"USER alice", "PASS secret"}), check.server.transcript);
    EXPECT_EQ(Lines{"password rejected"}, check.presenter.calls);
    check.ExpectCleanedUp();
  }
}

TEST(MailCheck, EachSilentOrLostStepFailsWithItsOwnCodeAndNoBox) {
  const std::pair<size_t, CheckResult> steps[] = {{0, kCheckConnectFailed},
                                                  {1, kCheckUserFailed},
                                                  {2, kCheckPassFailed},
                                                  {3, kCheckStatFailed}};
  for (MemoryServer::End end :
       {MemoryServer::End::kClose, MemoryServer::End::kSilence, MemoryServer::End::kError}) {
    for (const auto& [answered, code] : steps) {
      MemoryServer server = MemoryServer::Standard("+OK 2 2\r\n");
      server.chunks.resize(answered);
      server.end = end;
      Check check = With(server);
      EXPECT_EQ(code, check.Run()) << answered;
      const Lines expected = code == kCheckConnectFailed ? Lines{"connect failed"} : Lines{};
      EXPECT_EQ(expected, check.presenter.calls) << answered;
      EXPECT_EQ(answered, check.server.transcript.size());
      check.ExpectCleanedUp();
    }
  }
}

TEST(MailCheck, ARefusingGreetingIsAFailedConnection) {
  MemoryServer server;
  server.Reply(0, "-ERR too many connections\r\n");
  Check check = With(server);
  EXPECT_EQ(kCheckConnectFailed, check.Run());
  EXPECT_TRUE(check.server.transcript.empty());
  EXPECT_EQ(Lines{"connect failed"}, check.presenter.calls);
}

TEST(MailCheck, EachFailingPlatformStepHasItsCode) {
  const std::pair<const char*, CheckResult> steps[] = {
      {"startup", kCheckSocketsStartFailed}, {"socket", kCheckSocketFailed},
      {"resolve", kCheckResolveFailed},      {"connect", kCheckConnectFailed},
      {"close", kCheckCloseFailed},          {"cleanup", kCheckCleanupFailed}};
  for (const auto& [step, code] : steps) {
    Check check = With(MemoryServer::Standard("+OK 1 1\r\n"));
    check.server.failingStep = step;
    EXPECT_EQ(code, check.Run()) << step;
    EXPECT_EQ(check.server.socketsOpened, check.server.socketsClosed) << step;
  }
  Check resolve = With(MemoryServer::Standard("+OK 1 1\r\n"));
  resolve.server.failingStep = "resolve";
  resolve.Run();
  EXPECT_EQ(Lines{"resolve failed"}, resolve.presenter.calls);
}

TEST(MailCheck, EachFailingSendHasItsCode) {
  const std::pair<int, CheckResult> sends[] = {
      {1, kCheckUserFailed}, {2, kCheckPassFailed}, {3, kCheckStatFailed},
      {5, kCheckCompleted},  {6, kCheckQuitFailed}};
  for (const auto& [send, code] : sends) {
    Check check = With(MemoryServer::Standard("+OK 1 1\r\n"));
    check.server.failingSend = send;
    EXPECT_EQ(code, check.Run()) << send;
    check.ExpectCleanedUp();
  }
  // A failed QUIT comes after the count was already shown.
  Check quit = With(MemoryServer::Standard("+OK 5 1\r\n"));
  quit.server.failingSend = 8;
  quit.Run();
  EXPECT_EQ(Lines{"count 5 = 5"}, quit.presenter.calls);
}

TEST(MailCheck, ServerTextThatNamesNoServerIsNeverLookedUp) {
  for (const char* server : {"", "imap://pop.example.com", "pop.example.com:0", "pop3s://"}) {
    Check check = With(MemoryServer::Standard("+OK 1 1\r\n"));
    EXPECT_EQ(kCheckResolveFailed, check.Run({server, "alice", "secret"})) << server;
    EXPECT_EQ("", check.server.host) << server;
    EXPECT_EQ(0, check.server.socketsOpened) << server;
    EXPECT_EQ(Lines{"resolve failed"}, check.presenter.calls) << server;
  }
}

// Greeting, then each later reply once one more command has gone out.
MemoryServer Replies(const Lines& replies) {
  MemoryServer server;
  for (size_t i = 0; i < replies.size(); ++i) server.Reply(i, replies[i]);
  return server;
}

TEST(MailCheck, Xoauth2IsTwoLinesAndARefusalOfAnyFormIsAnOutcomeOfItsOwn) {
  MailAccount account{"pop3s://outlook.office365.com", "zoe@example.com", "secret"};
  account.accessToken = std::string(3000, 'T');
  const std::string payload = Xoauth2Payload(account.user, account.accessToken);
  const std::string tls = "<TLS outlook.office365.com>";
  const std::string imapHi = "* OK [CAPABILITY IMAP4rev1 SASL-IR AUTH=XOAUTH2] hi\r\n";
  const std::string imapIn = "a1 OK [CAPABILITY IMAP4rev1] in\r\n";
  const std::string challenge = "+ eyJzdGF0dXMiOiI0MDEifQ==\r\n";
  const struct {
    Lines replies;
    Lines sent;
    std::string told;
    bool imap = false;
  } rows[] = {
      {{"+OK hi\r\n", "+ \r\n", "+OK in\r\n", "+OK 0 0\r\n", "+OK\r\n.\r\n"},
       {tls, "AUTH XOAUTH2", payload, "STAT", "UIDL", "QUIT"},
       "count 0 = 0"},
      {{"+OK hi\r\n", "+\r\n", "-ERR Authentication failure\r\n"},
       {tls, "AUTH XOAUTH2", payload},
       "token refused: -ERR Authentication failure"},
      {{"+OK hi\r\n", "+\r\n", challenge, "-ERR no\r\n"},
       {tls, "AUTH XOAUTH2", payload, ""},
       "token refused: -ERR no"},
      {{"+OK hi\r\n", "-ERR unknown command\r\n"},
       {tls, "AUTH XOAUTH2"},
       "token refused: -ERR unknown command"},
      // IMAP sends the payload in the command where SASL-IR is listed.
      {{imapHi, imapIn, "a2 NO gone\r\n"},
       {tls, "a1 AUTHENTICATE XOAUTH2 " + payload, "a2 EXAMINE INBOX"},
       "failed", true},
      {{"* OK [CAPABILITY IMAP4rev1] hi\r\n", "+ \r\n", imapIn, "a2 NO gone\r\n"},
       {tls, "a1 AUTHENTICATE XOAUTH2", payload, "a2 EXAMINE INBOX"},
       "failed", true},
      {{imapHi, challenge, "a1 NO [AUTHENTICATIONFAILED] Invalid credentials\r\n"},
       {tls, "a1 AUTHENTICATE XOAUTH2 " + payload, ""},
       "token refused: NO [AUTHENTICATIONFAILED] Invalid credentials", true},
      {{imapHi, challenge, "+ again\r\n", "a1 BAD cancelled\r\n"},
       {tls, "a1 AUTHENTICATE XOAUTH2 " + payload, "", "*"},
       "token refused: BAD cancelled", true},
  };
  FakePlatform platform;
  for (const auto& row : rows) {
    Check check = With(Replies(row.replies));
    EventLog log(platform.GetServices().files, platform.GetServices().clock, "C:\\log.txt");
    account.server = row.imap ? "imaps://outlook.office365.com" : "pop3s://outlook.office365.com";
    const CheckOutcome last =
        row.imap ? ImapSession(*check.server.NewSession(), account, check.basis, &log).Open()
                 : RunMailCheck(*check.server.NewSession(), account, 1000, check.presenter,
                                check.basis, &log);
    if (last.kind != OutcomeKind::kEnded) check.presenter.calls.push_back(Describe(last));
    EXPECT_EQ(row.sent, check.server.transcript);
    EXPECT_EQ(Lines{row.told}, check.presenter.calls);
    log.Flush();
    EXPECT_EQ(std::string::npos, platform.files["C:\\log.txt"].find("TTTT"));
  }
  EXPECT_NE(std::string::npos, platform.files["C:\\log.txt"].find("> AUTH XOAUTH2\r\n"));
  EXPECT_NE(std::string::npos,
            platform.files["C:\\log.txt"].find("> a1 AUTHENTICATE XOAUTH2 ***\r\n"));
  EXPECT_NE(std::string::npos, platform.files["C:\\log.txt"].find("> ***\r\n"));

  // A token goes to Microsoft's hosts alone, and only over TLS.
  for (const char* server : {"pop3://outlook.office365.com", "outlook.office.com",
                             "pop3s://pop.example.com"}) {
    Check check = With(MemoryServer::Standard("+OK 1 1\r\n"));
    account.server = server;
    EXPECT_EQ(kCheckTokenNotAllowed, check.Run(account)) << server;
    EXPECT_EQ(0, check.server.startups) << server;
  }
}

TEST(MailCheck, SecureConnectionsAreUpBeforeAnythingOfTheUsersIsSent) {
  Check tls = With(MemoryServer::Standard("+OK 2 20\r\n"));
  EXPECT_EQ(kCheckCompleted, tls.Run({"POP3S://pop.example.com", "alice", "secret"}));
  EXPECT_EQ(995, tls.server.port);
  EXPECT_EQ((Lines{"<TLS pop.example.com>", "USER alice", "PASS secret", "STAT", "UIDL",
                   "TOP 2 0", "TOP 1 0", "QUIT"}),
            tls.server.transcript);

  // A line slipped in behind the STLS reply, before the handshake, is never
  // taken as the answer to USER.
  Check stls = With(Replies({"+OK hi\r\n", "+OK begin TLS\r\n-ERR injected\r\n", "+OK\r\n",
                             "+OK in\r\n", "+OK 0 0\r\n", "+OK\r\n.\r\n"}));
  EXPECT_EQ(kCheckCompleted, stls.Run({"pop3+starttls://[2001:db8::1]:2110", "alice", "secret"}));
  EXPECT_EQ("2001:db8::1", stls.server.host);
  EXPECT_EQ(2110, stls.server.port);
  EXPECT_EQ((Lines{"STLS", "<TLS 2001:db8::1>", "USER alice", "PASS secret", "STAT", "UIDL",
                   "QUIT"}),
            stls.server.transcript);
  EXPECT_EQ(Lines{"count 0 = 0"}, stls.presenter.calls);
  stls.ExpectCleanedUp();
}

TEST(MailCheck, NoSecureConnectionOrAnUntrustedOneEndsBeforeUser) {
  const struct {
    const char* server;
    SecureResult handshake;
    Lines replies;
    CheckResult code;
    Lines sent;
  } cases[] = {
      {"pop3s://pop.example.com", SecureResult::kHandshakeFailed, {"+OK hi\r\n"},
       kCheckSecureFailed, {"<TLS pop.example.com>"}},
      {"pop3s://pop.example.com", SecureResult::kUntrusted, {"+OK hi\r\n"}, kCheckUntrusted,
       {"<TLS pop.example.com>"}},
      {"pop3+starttls://pop.example.com", SecureResult::kUntrusted,
       {"+OK hi\r\n", "+OK go\r\n"}, kCheckUntrusted, {"STLS", "<TLS pop.example.com>"}},
      {"pop3+starttls://pop.example.com", SecureResult::kHandshakeFailed,
       {"+OK hi\r\n", "+OK go\r\n"}, kCheckSecureFailed, {"STLS", "<TLS pop.example.com>"}},
      {"pop3+starttls://pop.example.com", SecureResult::kSecured,
       {"+OK hi\r\n", "-ERR not here\r\n"}, kCheckStlsRefused, {"STLS"}},
      {"pop3+starttls://pop.example.com", SecureResult::kSecured, {"+OK hi\r\n"},
       kCheckSecureFailed, {"STLS"}},
  };
  for (const auto& c : cases) {
    for (MemoryServer::End end : {MemoryServer::End::kClose, MemoryServer::End::kSilence}) {
      Check check = With(Replies(c.replies));
      check.server.secureResult = c.handshake;
      check.server.end = end;
      EXPECT_EQ(c.code, check.Run({c.server, "alice", "secret"})) << c.server;
      EXPECT_EQ(c.sent, check.server.transcript) << c.server;
      EXPECT_EQ(Lines{c.code == kCheckUntrusted ? "untrusted" : "secure failed"},
                check.presenter.calls)
          << c.server;
      check.ExpectCleanedUp();
    }
  }
}

TEST(MailCheck, CredentialsAreSentAsTheyAreButNeverWithLineBreaks) {
  Check empty = With(MemoryServer::Standard("+OK 0 0\r\n"));
  EXPECT_EQ(kCheckCompleted, empty.Run({"host", "", ""}));
  EXPECT_EQ((Lines{"USER ", "PASS ", "STAT", "UIDL", "QUIT"}), empty.server.transcript);

  Check spaces = With(MemoryServer::Standard("+OK 0 0\r\n"));
  EXPECT_EQ(kCheckCompleted, spaces.Run({"host", "a b", " p a s s "}));
  ASSERT_GE(spaces.server.transcript.size(), 2u);
  EXPECT_EQ("PASS  p a s s ", spaces.server.transcript[1]);

  Check badUser = With(MemoryServer::Standard("+OK 0 0\r\n"));
  EXPECT_EQ(kCheckUserFailed, badUser.Run({"host", "alice\r\nDELE 1", "x"}));
  EXPECT_TRUE(badUser.server.transcript.empty());

  Check badPassword = With(MemoryServer::Standard("+OK 0 0\r\n"));
  EXPECT_EQ(kCheckPassFailed, badPassword.Run({"host", "alice", std::string("se\0cret", 7)}));
  EXPECT_EQ(Lines{"USER alice"}, badPassword.server.transcript);
  badPassword.ExpectCleanedUp();
}

TEST(MailCheck, ARefusedUtf8LoginTriesTheAnsiFormOnceThenOnlyTheFormThatWorked) {
  const std::string utf8 = "PASS p\xC3\xA4ss", ansi = "PASS p\xE4ss";
  const struct {
    LoginForm remembered;
    std::vector<const char*> passReplies;
    Lines sent;
    LoginForm learnt;
  } rows[] = {
      {LoginForm::kUnknown, {"+OK\r\n"}, {"USER al", utf8, "STAT", "UIDL", "QUIT"}, LoginForm::kUtf8},
      {LoginForm::kUnknown, {"-ERR\r\n", "+OK\r\n"},
       {"USER al", utf8, "USER al", ansi, "STAT", "UIDL", "QUIT"}, LoginForm::kAnsi},
      {LoginForm::kUnknown, {"-ERR\r\n", "-ERR\r\n"}, {"USER al", utf8, "USER al", ansi}, {}},
      {LoginForm::kAnsi, {"-ERR\r\n"}, {"USER al", ansi}, {}},
      {LoginForm::kUtf8, {"-ERR\r\n"}, {"USER al", utf8}, {}},
  };
  for (const auto& row : rows) {
    MemoryServer server;
    server.Reply(0, "+OK hi\r\n");
    size_t sent = 0;
    for (const char* reply : row.passReplies) {
      server.Reply(sent + 1, "+OK\r\n").Reply(sent + 2, reply);
      sent += 2;
    }
    server.Reply(sent + 1, "+OK 1 1\r\n").Reply(sent + 2, "+OK bye\r\n");
    Check check = With(server);
    MailAccount account{"host", "al", "p\xC3\xA4ss"};
    account.ansiUser = "al";
    account.ansiPassword = "p\xE4ss";
    account.form = row.remembered;
    check.Run(account);
    EXPECT_EQ(row.sent, check.server.transcript);
    EXPECT_EQ(row.learnt, check.presenter.form) << row.sent.size();
  }
}

// The server hangs up after refusing: the ANSI form goes over a new connection.
TEST(MailCheck, TheAnsiFormGoesOverANewConnectionWhenTheServerHungUp) {
  ScriptServer server;
  ASSERT_TRUE(server.Start({ScriptStep::Send("+OK hi\r\n"), ScriptStep::Expect(),
                            ScriptStep::Send("+OK\r\n"), ScriptStep::Expect(),
                            ScriptStep::Send("-ERR\r\n"), ScriptStep::Close()}));
  MailAccount account{"127.0.0.1:" + std::to_string(server.Port()), "al", "p\xC3\xA4ss"};
  account.ansiUser = "al";
  account.ansiPassword = "p\xE4ss";
  RecordingHandover handover;
  const CheckOutcome told = RunMailCheck(*CreatePosixTransport(), account, 2000, handover);
  EXPECT_EQ(OutcomeKind::kPasswordRejected, told.kind);
  EXPECT_EQ(2, server.Connections());
  EXPECT_EQ((Lines{"USER al", "PASS p\xC3\xA4ss", "USER al", "PASS p\xE4ss"}), server.Transcript());
}

// Each reply comes well within its limit, but the check outlasts its ceiling:
// the step then waiting times out, a failure that is retried.
TEST(MailCheck, TheCeilingOverAWholeCheckTimesOutTheStepThenRunning) {
  ScriptServer server;
  ASSERT_TRUE(server.Start(StandardSession("+OK 3 30\r\n", 600)));
  RecordingHandover handover;
  const MailAccount account{"127.0.0.1:" + std::to_string(server.Port()), "al", "pw"};
  const CheckOutcome told =
      RunMailCheck(*CreatePosixTransport(), account, 2000, handover, NewMailBasis(), nullptr, 1500);
  EXPECT_EQ(kCheckPassFailed, told.result) << "greeting at 0.6 s, USER at 1.2 s, PASS due at 1.8 s";
  EXPECT_TRUE(handover.calls.empty());
}

TEST(MailCheck, CredentialsTooLongForACommandLineAreNeverSent) {
  Check longUser = With(MemoryServer::Standard("+OK 0 0\r\n"));
  EXPECT_EQ(kCheckUserFailed, longUser.Run({"host", std::string(300, 'u'), "x"}));
  EXPECT_TRUE(longUser.server.transcript.empty());
  EXPECT_TRUE(longUser.presenter.calls.empty());

  Check longPassword = With(MemoryServer::Standard("+OK 0 0\r\n"));
  EXPECT_EQ(kCheckPassFailed, longPassword.Run({"host", "alice", std::string(250, 'p')}));
  EXPECT_EQ(Lines{"USER alice"}, longPassword.server.transcript);
  longPassword.ExpectCleanedUp();
}

TEST(MailCheck, ReplySplitIntoSingleBytesReadsTheSame) {
  MemoryServer split;
  const std::string replies[] = {"+OK hi\r\n", "+OK\r\n", "+OK in\r\n", "+OK 3 30\r\n",
                                 "-ERR\r\n",   "-ERR\r\n", "-ERR\r\n", "-ERR\r\n"};
  for (size_t i = 0; i < std::size(replies); ++i)
    for (char c : replies[i]) split.Reply(i, std::string(1, c));
  Check check = With(split);
  EXPECT_EQ(kCheckCompleted, check.Run());
  EXPECT_EQ(Lines{"count 3 = 3"}, check.presenter.calls);
  EXPECT_EQ(kWholeConversation, check.server.transcript);
}

SeenMail Seen(int count, const Lines& ids, int toldByCount = 0) {
  SeenMail seen;
  seen.known = true;
  seen.count = count;
  seen.toldByCount = toldByCount;
  for (const std::string& id : ids) seen.ids.push_back(SeenHash(id));
  std::sort(seen.ids.begin(), seen.ids.end());
  return seen;
}

std::string Top(const std::string& subject) {
  return "+OK\r\nFrom: S <s@example.com>\r\nSubject: " + subject + "\r\n\r\n.\r\n";
}

TEST(MailCheck, NewMailIsWhatTheListingHoldsBeyondThePreviousCheck) {
  const std::string abc = "+OK\r\n1 a\r\n2 b\r\n3 c\r\n.\r\n";
  const struct {
    const char* stat;
    std::string listing;
    SeenMail seen;
    int newCount;
    Lines tops;  // the commands after UIDL, without QUIT
    int toldByCount = 0;  // remembered
    std::optional<Lines> ids = std::nullopt;  // remembered, where the row says
  } cases[] = {
      {"+OK 3 9\r\n", abc, SeenMail(), 3, {"TOP 3 0", "TOP 2 0", "TOP 1 0"}},
      {"+OK 3 9\r\n", abc, Seen(2, {"a", "b"}), 1, {"TOP 3 0"}},
      {"+OK 3 9\r\n", abc, Seen(3, {"a", "b", "c", "gone"}), 0, {}, 0, Lines{"a", "b", "c"}},
      {"+OK 3 9\r\n", "+OK\r\n2 b\r\n1 a\r\n3 c\r\n.\r\n", Seen(1, {"b", "c"}), 1,
       {"TOP 1 0"}},
      {"+OK 3 9\r\n", "+OK\r\n1 a\r\n2 a\r\n3 c\r\n.\r\n", Seen(3, {"a"}), 1, {"TOP 3 0"},
       0, Lines{"a", "c"}},
      {"+OK 3 9\r\n", "+OK\r\n1 a\r\n2 b\r\n3 !" + std::string(68, 'x') + "~\r\n.\r\n",
       Seen(3, {"a", "b"}), 1, {"TOP 3 0"}},
      // What the count told while no listing could be read is not told again.
      {"+OK 3 9\r\n", abc, Seen(2, {"a", "b"}, 1), 0, {}},
      {"+OK 4 9\r\n", "+OK\r\n1 a\r\n2 b\r\n3 c\r\n4 d\r\n.\r\n", Seen(2, {"a", "b"}, 1), 1,
       {"TOP 3 0"}},
      // Refused, malformed or out of bounds: new when the count grew.
      {"+OK 3 9\r\n", "-ERR no\r\n", Seen(2, {"a", "b"}), 1, {"TOP 3 0"}, 1, Lines{"a", "b"}},
      {"+OK 3 9\r\n", "-ERR no\r\n", Seen(2, {}, 1), 1, {"TOP 3 0"}, 2},
      {"+OK 3 9\r\n", "-ERR no\r\n", SeenMail(), 3, {"TOP 3 0", "TOP 2 0", "TOP 1 0"}, 3},
      {"+OK 3 9\r\n", "+OK\r\n1 a\r\nx b\r\n.\r\n", Seen(1, {"a"}), 2, {"TOP 3 0", "TOP 2 0"},
       2},
      {"+OK 3 9\r\n", "+OK\r\n1 a\r\n1 b\r\n.\r\n", Seen(4, {}), 0, {}},
      {"+OK 3 9\r\n", "+OK\r\n1 a\r\n4 d\r\n.\r\n", Seen(3, {}), 0, {}},
      {"+OK 3 9\r\n", "+OK\r\n1 " + std::string(71, 'x') + "\r\n.\r\n", Seen(3, {}), 0, {}},
      {"+OK 3 9\r\n", "+OK\r\n1 a b\r\n.\r\n", Seen(3, {}), 0, {}},
      {"+OK 1 9\r\n", "+OK\r\n1 a\r\n2 b\r\n.\r\n", Seen(0, {}), 1, {"TOP 1 0"}, 1},
      // A listing far past its bound is not read to its end, nor taken for a header.
      {"+OK 1 9\r\n", "+OK\r\n" + std::string(3000, 'x') + "\r\n.\r\n", Seen(0, {}), 1, {}, 1},
  };
  for (const auto& c : cases) {
    Check check = With(Replies({"+OK hi\r\n", "+OK\r\n", "+OK in\r\n", c.stat, c.listing,
                                Top("third"), Top("second"), Top("first")}));
    check.basis.seen = c.seen;
    EXPECT_EQ(kCheckCompleted, check.Run()) << c.listing;
    EXPECT_EQ(c.newCount, check.presenter.last.newCount) << c.listing;
    Lines after(check.server.transcript.begin() + 4, check.server.transcript.end() - 1);
    EXPECT_EQ(c.tops, after) << c.listing;
    EXPECT_EQ(c.tops.size(), check.presenter.last.newest.size()) << c.listing;
    const SeenMail& remembered = check.presenter.last.seen;
    EXPECT_TRUE(remembered.known);
    EXPECT_EQ(check.presenter.last.count, remembered.count) << "the STAT count, not the ids'";
    EXPECT_EQ(c.toldByCount, remembered.toldByCount) << c.listing;
    if (c.ids) {
      EXPECT_EQ(Seen(0, *c.ids).ids, remembered.ids) << c.listing;
    }
  }
}

// Past the 64 KiB kept of a header block, the Subject is read over and dropped.
std::string LongHeader() {
  std::string reply = "+OK\r\n";
  for (int i = 0; i < 700; ++i) reply += "X-Filler: " + std::string(90, 'h') + "\r\n";
  return reply + "Subject: too late\r\n\r\n.\r\n";
}

TEST(MailCheck, TheListingIsRememberedAndHeadersGoWithTheirMessages) {
  Check check = With(Replies({"+OK hi\r\n", "+OK\r\n", "+OK in\r\n", "+OK 4 9\r\n",
                              "+OK\r\n1 a\r\n2 b\r\n3 c\r\n4 d\r\n.\r\n",
                              "+OK\r\n..X-Dot: y\r\nFrom: D <d@example.com>\r\n"
                              "Subject: =?UTF-8?Q?d=C3=A9j=C3=A0?=\r\n\r\n.\r\n",
                              "+OK\r\nFrom: L <l@example.com>\r\nX-Long: " +
                                  std::string(20000, 'l') + "\r\nSubject: long\r\n\r\n.\r\n",
                              LongHeader()}));
  check.basis.seen = Seen(2, {"a", "x"});
  EXPECT_EQ(kCheckCompleted, check.Run());
  const CheckOutcome& told = check.presenter.last;
  EXPECT_EQ(3, told.newCount);
  ASSERT_EQ(3u, told.newest.size());
  EXPECT_EQ("D", told.newest[0].sender);
  EXPECT_EQ("déjà", told.newest[0].subject);
  EXPECT_EQ("", told.newest[1].sender + told.newest[1].subject) << "a line too long was read over";
  EXPECT_EQ("", told.newest[2].subject);
  EXPECT_EQ(Seen(4, {"a", "b", "c", "d"}).ids, told.seen.ids);
  EXPECT_EQ(4, told.seen.count);

  // A header reply that never ends or is cut off still tells the count and
  // keeps the ids, that message told; nothing more is sent, not even QUIT.
  for (MemoryServer::End end : {MemoryServer::End::kSilence, MemoryServer::End::kClose}) {
    Check cut = With(Replies({"+OK hi\r\n", "+OK\r\n", "+OK in\r\n", "+OK 2 9\r\n",
                              "+OK\r\n1 a\r\n2 b\r\n.\r\n", Top("b"), "+OK\r\nFrom: x\r\n"}));
    cut.server.end = end;
    EXPECT_EQ(kCheckCompleted, cut.Run());
    EXPECT_EQ(Lines{"count 2 = 2"}, cut.presenter.calls);
    EXPECT_EQ("TOP 1 0", cut.server.transcript.back());
    EXPECT_EQ(2, cut.presenter.last.newCount);
    EXPECT_EQ(1u, cut.presenter.last.newest.size());
    EXPECT_EQ(Seen(2, {"a", "b"}).ids, cut.presenter.last.seen.ids);
    cut.ExpectCleanedUp();
  }
}

TEST(StatCountField, SplitsAtRunsOfSpaces) {
  std::string count;
  EXPECT_FALSE(StatCountField("+OK", count));
  EXPECT_FALSE(StatCountField("+OK ", count));
  ASSERT_TRUE(StatCountField("+OK 3", count));
  EXPECT_EQ("3", count);
  ASSERT_TRUE(StatCountField("+OK  12  400", count));
  EXPECT_EQ("12", count);
  ASSERT_TRUE(StatCountField("+OK\t3 1", count)) << "only spaces separate fields";
  EXPECT_EQ("1", count);
}

}  // namespace
