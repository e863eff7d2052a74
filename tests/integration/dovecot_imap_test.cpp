// Checks against dovecot's IMAP beside its POP3 (tests/integration/dovecot.sh):
// counts, new mail, flags, log-ins, TLS and push, and the program's frame
// watching an account. Mail arrives and changes through doveadm, in a mailbox
// of each test's own, as the tests run side by side.
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

#include "agent/main_frame.h"
#include "check/imap/imap_session.h"
#include "log/event_log.h"
#include "platform/posix/posix_transport.h"
#include "platform/win_constants.h"
#include "res/resource.h"
#include "script_server.h"
#include "tests/double/check_driver.h"
#include "tests/double/fake_platform.h"
#include "tests/double/redirect_transport.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string Instance(const std::string& file) {
  const char* dir = std::getenv("DOVECOT_DIR");
  return dir ? std::string(dir) + "/" + file : std::string();
}

std::string Port(const char* file) {
  std::ifstream in(Instance(file));
  std::string port;
  in >> port;
  return port;
}

std::string Plain(const std::string& host = "127.0.0.1") {
  return "imap://" + host + ":" + Port("imap_port");
}

// doveadm on the test instance; its standard output.
std::string Doveadm(const std::string& arguments, const std::string& input = std::string()) {
  const std::string command = (input.empty() ? "" : "printf '%s' '" + input + "' | ") +
                              "doveadm -c " + Instance("dovecot.conf") + " " + arguments;
  std::string output;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char chunk[256];
    while (fgets(chunk, sizeof chunk, pipe)) output += chunk;
    EXPECT_EQ(0, pclose(pipe)) << command;
  }
  return output;
}

void Deliver(const std::string& user, const std::string& header) {
  Doveadm("save -u " + user, header + "\n\nHello.\n");
}

// The unseen messages as dovecot itself counts them.
size_t Unseen(const std::string& user) {
  const std::string found = Doveadm("search -u " + user + " mailbox INBOX UNSEEN");
  return static_cast<size_t>(std::count(found.begin(), found.end(), '\n'));
}

// A transport to the plain IMAP port that tells when a receive settles into a
// long wait: the session is then idling in its one receive.
class WatchedTransport : public RedirectTransport {
 public:
  WatchedTransport()
      : RedirectTransport(CreatePosixTransport(),
                          static_cast<uint16_t>(std::stoi(Port("imap_port"))), INT_MAX) {}
  bool KeepAlive(int idleS, int intervalS) override {
    keepAlive = std::to_string(idleS) + "/" + std::to_string(intervalS);
    return RedirectTransport::KeepAlive(idleS, intervalS);
  }
  int Receive(char* buffer, int capacity, int ms) override {
    if (ms > kLongWaitMs) {
      const std::lock_guard<std::mutex> lock(m_mutex);
      ++m_nLongWaits;
      m_changed.notify_all();
    }
    return RedirectTransport::Receive(buffer, capacity, ms);
  }
  // Waits until more than seen long waits have begun.
  void WaitForLongWait(int seen) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait_for(lock, std::chrono::seconds(10), [&] { return m_nLongWaits > seen; });
  }
  int LongWaits() {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_nLongWaits;
  }

  // Longer than any reply's limit in these tests.
  static constexpr int kLongWaitMs = 20000;
  std::string keepAlive;

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  int m_nLongWaits = 0;
};

class DovecotImapTest : public ::testing::Test {
 protected:
  CheckOutcome Check(const std::string& server, const std::string& user,
                     const std::string& password = "secret", const SeenMail& seen = SeenMail()) {
    const std::unique_ptr<Transport> transport = CreatePosixTransport(Instance("tls/ca.pem"));
    return RunImapCheck(*transport, {server, user, password}, 10000, {seen, nullptr}, &log);
  }
  std::string Logged() {
    log.Flush();
    return platform.files[kLog];
  }

  // A session on user's INBOX with a reply limit shorter than any wait in IDLE.
  std::unique_ptr<ImapSession> Session(WatchedTransport& transport, const std::string& user,
                                       int renewalMs = 10 * 60 * 1000) {
    ImapTimes times;
    times.replyMs = 10000;
    times.renewalMs = renewalMs;
    return std::make_unique<ImapSession>(transport, MailAccount{Plain(), user, "secret"},
                                         NewMailBasis(), &log, times);
  }
  // Idle on a thread of its own, as a monitor would, until it has settled
  // into its long wait; then act.
  IdleEnd IdleWhile(ImapSession& session, WatchedTransport& transport,
                    const std::function<void()>& act) {
    const int seen = transport.LongWaits();
    std::future<IdleEnd> idle =
        std::async(std::launch::async, [&session] { return session.Idle(60000); });
    transport.WaitForLongWait(seen);
    act();
    if (idle.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
      ADD_FAILURE() << "Idle did not end";
      session.Stop();
    }
    return idle.get();
  }

  static constexpr char kLog[] = "C:\\Tools\\tarvik.log";
  FakePlatform platform;
  EventLog log{platform.GetServices().files, platform.GetServices().clock, kLog};
};

TEST_F(DovecotImapTest, UnseenCountsWithAndWithoutEsearchLeaveEveryFlag) {
  ASSERT_NE("", Port("imap_port")) << "DOVECOT_DIR names a server with IMAP";
  Doveadm("flags add -u mixed '\\Seen' mailbox INBOX uid 2,4");
  ASSERT_EQ(3u, Unseen("mixed"));
  SeenMail seen;
  for (const char* host : {"127.0.0.1", "127.0.0.4", "127.0.0.1", "127.0.0.4"}) {
    const CheckOutcome outcome = Check(Plain(host), "mixed", "secret", seen);
    ASSERT_EQ(OutcomeKind::kMailboxCount, outcome.kind) << host;
    EXPECT_EQ(3, outcome.count) << host;
    EXPECT_EQ(seen.known ? 0 : 3, outcome.newCount) << "all unseen are new at the first check";
    EXPECT_EQ(seen.known ? 0u : 3u, outcome.newest.size());
    seen = outcome.seen;
    EXPECT_EQ(5u, seen.lastUid);
  }
  const std::string logged = Logged();
  EXPECT_NE(std::string::npos, logged.find("UID SEARCH RETURN (COUNT) UNSEEN")) << logged;
  EXPECT_NE(std::string::npos, logged.find("UID SEARCH UNSEEN\r\n")) << logged;
  EXPECT_EQ(std::string::npos, logged.find("secret"));
  EXPECT_EQ(3u, Unseen("mixed")) << "no check changes a flag";
}

TEST_F(DovecotImapTest, NewReadExpungedMarkedReadElsewhereAndUidValidityChanged) {
  const std::string user = "inbox1";
  Deliver(user,
          "From: =?UTF-8?B?Wm/Dqw==?= <zoe@example.test>\n"
          "Subject: =?ISO-8859-1?Q?caf=E9?= =?ISO-8859-1?Q?_au_lait?=");
  CheckOutcome outcome = Check(Plain(), user);
  ASSERT_EQ(OutcomeKind::kMailboxCount, outcome.kind);
  EXPECT_EQ(1, outcome.newCount);
  ASSERT_EQ(1u, outcome.newest.size());
  EXPECT_EQ("Zoë", outcome.newest[0].sender);
  EXPECT_EQ("café au lait", outcome.newest[0].subject);

  outcome = Check(Plain("127.0.0.4"), user, "secret", outcome.seen);
  EXPECT_EQ(1, outcome.count);
  EXPECT_EQ(0, outcome.newCount) << "nothing new at the second check";

  Deliver(user, "From: bob@example.test\nSubject: two");
  Deliver(user, "From: carol@example.test\nSubject: three");
  Doveadm("flags add -u " + user + " '\\Seen' mailbox INBOX uid 2");
  outcome = Check(Plain(), user, "secret", outcome.seen);
  EXPECT_EQ(2, outcome.count) << "read elsewhere";
  EXPECT_EQ(1, outcome.newCount) << "a message read before the check is not news";
  ASSERT_EQ(1u, outcome.newest.size());
  EXPECT_EQ("three", outcome.newest[0].subject);

  Doveadm("expunge -u " + user + " mailbox INBOX uid 3");
  Doveadm("flags add -u " + user + " '\\Seen' mailbox INBOX uid 1");
  outcome = Check(Plain("127.0.0.4"), user, "secret", outcome.seen);
  EXPECT_EQ(0, outcome.count);
  EXPECT_EQ(3u, outcome.seen.lastUid);

  Doveadm("flags remove -u " + user + " '\\Seen' mailbox INBOX uid 1");
  outcome = Check(Plain(), user, "secret", outcome.seen);
  EXPECT_EQ(1, outcome.count);
  EXPECT_EQ(0, outcome.newCount) << "marked unread elsewhere is not news";
  Doveadm("mailbox update -u " + user + " --uid-validity " +
          std::to_string(outcome.seen.uidValidity + 1) + " INBOX");
  outcome = Check(Plain(), user, "secret", outcome.seen);
  EXPECT_EQ(1, outcome.newCount) << "with UIDVALIDITY changed, every unseen message is new";
}

TEST_F(DovecotImapTest, LiteralPasswordsAndARejectedLogIn) {
  // 127.0.0.4 lists no LITERAL+, so the literal waits for the server's "+".
  for (const char* host : {"127.0.0.1", "127.0.0.4"}) {
    EXPECT_EQ(2, Check(Plain(host), "umlaut", "pässwörd").count) << host;
  }
  const std::unique_ptr<Transport> transport = CreatePosixTransport();
  MailAccount legacy{Plain("127.0.0.4"), "legacy", "pässwörd", "legacy", "p\xe4ssw\xf6rd"};
  const CheckOutcome outcome = RunImapCheck(*transport, legacy, 10000, NewMailBasis(), &log);
  EXPECT_EQ(1, outcome.count) << "the ANSI form after the UTF-8 one was refused";
  EXPECT_EQ(LoginForm::kAnsi, outcome.loginForm);
  EXPECT_EQ(OutcomeKind::kPasswordRejected, Check(Plain(), "twelve", "wrong").kind);
  const std::string logged = Logged();
  EXPECT_NE(std::string::npos, logged.find("LOGIN \"umlaut\" ***")) << logged;
  EXPECT_NE(std::string::npos, logged.find("< + ")) << logged;
  EXPECT_EQ(std::string::npos, logged.find("pässwörd"));
  EXPECT_EQ(std::string::npos, logged.find("wrong"));
}

TEST_F(DovecotImapTest, TlsFromTheFirstByteAndAfterStartTlsAndNothingToAnUntrustedServer) {
  const std::string tls = Port("imaps_port"), plain = Port("imap_port");
  for (const std::string& server :
       {"imaps://localhost:" + tls, "IMAP+STARTTLS://localhost:" + plain, "imaps://[::1]:" + tls})
    EXPECT_EQ(12, Check(server, "twelve").count) << server;
  Logged();
  platform.files[kLog].clear();
  for (const std::string& server : {"imaps://127.0.0.1:" + tls, "imaps://127.0.0.2:" + tls,
                                    "imap+starttls://127.0.0.1:" + plain})
    EXPECT_EQ(OutcomeKind::kUntrusted, Check(server, "twelve").kind) << server;
  const std::string logged = Logged();
  EXPECT_EQ(std::string::npos, logged.find(" LOGIN ")) << logged;
  EXPECT_NE(std::string::npos, logged.find("> a2 STARTTLS")) << logged;
}

TEST_F(DovecotImapTest, PushTellsADeliveryAndAFlagChangeAndEndsWithinASecond) {
  WatchedTransport transport;
  const auto session = Session(transport, "inbox2");
  ASSERT_EQ(0, session->Open().count);
  ASSERT_TRUE(session->CanIdle());
  EXPECT_EQ("60/10", transport.keepAlive);

  auto delivered = Clock::now();
  EXPECT_EQ(IdleEnd::kChanged, IdleWhile(*session, transport, [&] {
              delivered = Clock::now();
              Deliver("inbox2",
                      "From: =?UTF-8?Q?Zo=C3=AB?= <zoe@example.test>\n"
                      "Subject: =?UTF-8?B?Y2Fmw6k=?=");
            }));
  const CheckOutcome outcome = session->Recount();
  const auto took = Clock::now() - delivered;
  EXPECT_EQ(1, outcome.count);
  EXPECT_EQ(1, outcome.newCount);
  ASSERT_EQ(1u, outcome.newest.size());
  EXPECT_EQ("Zoë", outcome.newest[0].sender);
  EXPECT_EQ("café", outcome.newest[0].subject);
  EXPECT_LT(took, std::chrono::seconds(2));

  EXPECT_EQ(IdleEnd::kChanged, IdleWhile(*session, transport, [] {
              Doveadm("flags add -u inbox2 '\\Seen' mailbox INBOX uid 1");
            }));
  EXPECT_EQ(0, session->Recount().count) << "read elsewhere";
  EXPECT_EQ(IdleEnd::kAsked, IdleWhile(*session, transport, [&] { session->Interrupt(); }));

  auto stopped = Clock::now();
  EXPECT_EQ(IdleEnd::kStopped, IdleWhile(*session, transport, [&] {
              stopped = Clock::now();
              session->Stop();
            }));
  EXPECT_LT(Clock::now() - stopped, std::chrono::seconds(1));
  EXPECT_FALSE(session->Held());
  const std::string logged = Logged();
  EXPECT_NE(std::string::npos, logged.find("> DONE\r\n")) << logged;
  EXPECT_NE(std::string::npos, logged.find(" LOGOUT\r\n")) << logged;
}

TEST_F(DovecotImapTest, IdleIsRenewedAndAConnectionDroppedIsToldAsEnded) {
  WatchedTransport transport;
  const auto session = Session(transport, "inbox3", 300);
  ASSERT_EQ(0, session->Open().count);
  const auto start = Clock::now();
  EXPECT_EQ(IdleEnd::kTimeUp, session->Idle(1500));
  EXPECT_GT(Clock::now() - start, std::chrono::milliseconds(1400)) << "renewals end no wait";
  const std::string logged = Logged();
  EXPECT_NE(logged.find("NOOP\r\n"), logged.rfind("NOOP\r\n")) << "renewed more than once";
  Deliver("inbox3", "From: a@example.test\nSubject: after renewals");
  EXPECT_EQ(IdleEnd::kChanged, session->Idle(5000)) << "still told after renewals";
  EXPECT_EQ(1, session->Recount().newCount);

  WatchedTransport held;
  const auto dropped = Session(held, "inbox3");
  ASSERT_EQ(1, dropped->Open().count);
  EXPECT_EQ(IdleEnd::kEnded, IdleWhile(*dropped, held, [] { Doveadm("kick inbox3"); }));
  EXPECT_FALSE(dropped->Held());
  EXPECT_EQ(1, dropped->Open().count) << "reconnected at once";
  EXPECT_EQ(0, dropped->Recount().newCount);
}

// The frame watching one IMAP account as the user has it: what its server
// pushes, reconnects and goodbyes are seen where the user sees them.
class ImapFrameTest : public DovecotImapTest {
 protected:
  ImapFrameTest() {
    // A settings file, so no first start's guidance.
    platform.files["C:\\Tools\\tarvik.ini"] = "";
    platform.transports = [] { return CreatePosixTransport(Instance("tls/ca.pem")); };
    EXPECT_TRUE(frame.Create("Tarvik"));
    FinishCheck(platform, frame);
  }
  // Watches user's INBOX, its count box on; returns once the first count is shown.
  void Watch(const std::string& user, const std::string& server = Plain()) {
    ChangeSettings(frame, [&](MailSettings& s) {
      s.m_strServer = server;
      s.m_strUser = user;
      s.m_strPassword = "secret";
      s.m_bShowCount = 1;
    });
    RunCheck(platform, frame);
  }
  bool Within(int ms, const std::function<bool()>& state) {
    return platform.RunUntil(state, std::chrono::milliseconds(ms), false);
  }
  // dovecot's log lines that hold both texts, once there are more than seen.
  static size_t LogLines(const std::string& text, const std::string& also, size_t seen = 0) {
    size_t lines = 0;
    for (const auto end = Clock::now() + std::chrono::seconds(5); Clock::now() < end;) {
      std::ifstream in(Instance("dovecot.log"));
      lines = 0;
      for (std::string line; std::getline(in, line);)
        lines += line.find(text) != std::string::npos && line.find(also) != std::string::npos;
      if (lines > seen) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return lines;
  }
  static size_t Logins(const std::string& user, size_t seen = 0) {
    return LogLines("imap-login: Info: Login: user=<" + user + ">", "", seen);
  }
  std::string Tip() const { return frame.Icon().tip; }

  CMainFrame frame{platform, nullptr};
};

TEST_F(ImapFrameTest, UnreadMailIsToldAsItComesAndGoesWithNoCheckAskedAndExitSaysGoodbye) {
  const std::string user = "inbox4";
  Deliver(user, "From: ann@example.test\nSubject: first");
  Watch(user);
  EXPECT_EQ("You have 1 message waiting", Tip());
  ASSERT_EQ(1u, platform.balloons.size());

  for (const std::string subject : {"second", "third"}) {
    const size_t boxes = platform.boxes.size();
    const auto delivered = Clock::now();
    Deliver(user, "From: bob@example.test\nSubject: " + subject);
    EXPECT_TRUE(Within(2000, [&] { return platform.boxes.size() > boxes; })) << subject;
    EXPECT_LT(Clock::now() - delivered, std::chrono::seconds(2));
    EXPECT_EQ("bob@example.test: " + subject, platform.balloons.back().text);
    EXPECT_EQ(Tip(), platform.boxes.back().text);
  }
  EXPECT_EQ("You have 3 messages waiting", Tip());
  Doveadm("flags add -u " + user + " '\\Seen' mailbox INBOX all");
  EXPECT_TRUE(Within(5000, [&] { return Tip() == "No messages waiting"; })) << Tip();
  EXPECT_EQ(IDI_NOMAIL, frame.Icon().pictureId);
  EXPECT_EQ(1u, Logins(user)) << "all of it on one connection";

  const auto exit = Clock::now();
  platform.SendToFrame(win::kWmCommand, ID_TRAY_EXIT);
  EXPECT_LT(Clock::now() - exit, std::chrono::seconds(1));
  EXPECT_EQ(1u, LogLines("imap(" + user + ")", "Logged out"));
}

TEST_F(ImapFrameTest, AConnectionThatEndsIsOpenedAgainAtOnceWithNothingPresented) {
  const std::string user = "inbox5";
  Deliver(user, "From: ann@example.test\nSubject: waiting");
  Watch(user);
  const size_t boxes = platform.boxes.size(), balloons = platform.balloons.size();
  ASSERT_EQ(1u, boxes);

  const auto resumed = Clock::now();
  platform.SendToFrame(win::kWmPowerBroadcast, win::kPbtApmResumeAutomatic);
  EXPECT_TRUE(Within(10000, [&] { return !frame.IsChecking(); }));
  EXPECT_LT(Clock::now() - resumed, std::chrono::seconds(10));
  EXPECT_EQ(2u, Logins(user, 1)) << "reconnected after the resume";

  size_t shown = platform.trayRecords.size();
  Doveadm("kick " + user);
  EXPECT_TRUE(Within(5000, [&] { return platform.trayRecords.size() > shown; }));
  EXPECT_EQ(3u, Logins(user, 2)) << "reconnected at once";
  EXPECT_EQ("You have 1 message waiting", Tip());
  EXPECT_EQ(IDI_NEWMAIL, frame.Icon().pictureId);
  EXPECT_EQ(boxes, platform.boxes.size());
  EXPECT_EQ(balloons, platform.balloons.size());

  // Another mailbox is counted on a connection of its own, not on the one held.
  ChangeSettings(frame, [](MailSettings& s) { s.m_strUser = "twelve"; });
  RunCheck(platform, frame);
  EXPECT_EQ("You have 12 messages waiting", Tip());

  // A renewal that the server never answers.
  ScriptServer silent;
  const std::string header = "Subject: One\r\n\r\n";
  ASSERT_TRUE(silent.Start(
      {ScriptStep::Send("* OK [CAPABILITY IMAP4rev1 IDLE] hi\r\n"), ScriptStep::Expect(),
       ScriptStep::Send("a1 OK [CAPABILITY IMAP4rev1 IDLE] in\r\n"), ScriptStep::Expect(),
       ScriptStep::Send("* 1 EXISTS\r\n* OK [UIDVALIDITY 7] v\r\n"
                        "* OK [UIDNEXT 2] n\r\na2 OK done\r\n"),
       ScriptStep::Expect(), ScriptStep::Send("* SEARCH 1\r\na3 OK\r\n"), ScriptStep::Expect(),
       ScriptStep::Send("* 1 FETCH (UID 1 BODY[HEADER.FIELDS (FROM SUBJECT DATE)] {" +
                        std::to_string(header.size()) + "}\r\n" + header + ")\r\na4 OK\r\n"),
       ScriptStep::Expect(), ScriptStep::Send("+ idling\r\n"), ScriptStep::Expect(),
       ScriptStep::Stall()}));
  platform.transports = [&silent] {
    return std::make_unique<RedirectTransport>(CreatePosixTransport(), silent.Port(), 1000);
  };
  frame.Monitor(0).m_nRenewalMs = 300;
  Watch("alice", "imap://127.0.0.1");
  EXPECT_EQ("You have 1 message waiting", Tip());
  shown = platform.trayRecords.size();
  EXPECT_TRUE(Within(
      5000, [&] { return silent.Connections() > 1 && platform.trayRecords.size() > shown; }));
  const std::vector<std::string> heard = silent.Transcript();
  ASSERT_LT(5u, heard.size());
  EXPECT_EQ("DONE", heard[5]) << "the renewal";
  EXPECT_EQ("You have 1 message waiting", Tip());
  EXPECT_EQ(boxes + 2, platform.boxes.size()) << "only the first counts of either server";
}

}  // namespace
