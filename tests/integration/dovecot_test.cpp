// Checks against a real POP3 server, dovecot, started on loopback by the
// test fixture with known mailboxes, plain and over TLS with the test CA's
// certificates. The names of the TLS tests come from a hosts file of their
// own, put in place inside a private mount namespace.
#include <gtest/gtest.h>
#include <netdb.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <thread>

#include "agent/main_frame.h"
#include "check/pop3/pop3_check.h"
#include "check/signin/base64.h"
#include "check/signin/token_endpoint.h"
#include "monitor/check_run.h"
#include "monitor/sign_in_tokens.h"
#include "platform/posix/posix_transport.h"
#include "res/resource.h"
#include "tests/double/check_driver.h"
#include "tests/double/fake_credentials.h"
#include "tests/double/fake_platform.h"
#include "tests/double/fake_web.h"
#include "tests/double/redirect_transport.h"
#include "tests/support/script_server.h"
#include "tests/support/unanswering_listener.h"

namespace {

// The instance's folder, as dovecot.sh lays it out.
std::string Instance(const std::string& file) {
  const char* dir = std::getenv("DOVECOT_DIR");
  return dir ? std::string(dir) + "/" + file : std::string();
}

std::string FileText(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Done before any test starts a thread: a process with threads cannot leave
// its mount namespace.
class PrivateHosts : public ::testing::Environment {
 public:
  void SetUp() override {
    s_bInPlace = unshare(CLONE_NEWNS) == 0 &&
                 mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                 mount(TEST_HOSTS_FILE, "/etc/hosts", nullptr, MS_BIND, nullptr) == 0;
  }
  static bool s_bInPlace;
};
bool PrivateHosts::s_bInPlace = false;
::testing::Environment* const kPrivateHosts = ::testing::AddGlobalTestEnvironment(new PrivateHosts);

class DovecotTest : public ::testing::Test {
 protected:
  DovecotTest() {
    m_nPort = static_cast<uint16_t>(std::atoi(FileText(Instance("port")).c_str()));
    m_nTlsPort = std::atoi(FileText(Instance("tls_port")).c_str());
    platform.transports = [this]() -> std::unique_ptr<Transport> {
      if (m_bServerText) return CreatePosixTransport(Instance("tls/ca.pem"));
      return std::make_unique<RedirectTransport>(CreatePosixTransport(), m_nPort, 10000);
    };
    // Without a settings file the first check has no server to ask.
    EXPECT_TRUE(frame.Create("Tarvik"));
    FinishCheck(platform, frame);
  }

  void Check(const std::string& user, const std::string& password) {
    ChangeSettings(frame, [&](MailSettings& s) {
      s.m_strServer = "localhost";
      s.m_strUser = user;
      s.m_strPassword = password;
    });
    RunCheck(platform, frame);
  }
  // A check of the mailbox as the server text says, port included.
  void CheckAt(const std::string& server, const std::string& user = "twelve") {
    m_bServerText = true;
    ChangeSettings(frame, [&](MailSettings& s) {
      s.m_strServer = server;
      s.m_strUser = user;
      s.m_strPassword = "secret";
    });
    RunCheck(platform, frame);
  }
  std::string Plain(const std::string& prefix) const {
    return prefix + ":" + std::to_string(m_nPort);
  }
  std::string Tls(const std::string& prefix) const {
    return prefix + ":" + std::to_string(m_nTlsPort);
  }
  int Picture() const { return frame.Icon().pictureId; }
  std::string Tip() const { return frame.Icon().tip; }
  // What dovecot has logged so far.
  static std::string Log() { return FileText(Instance("dovecot.log")); }
  // The log from offset on, once it holds lines more lines with text (and
  // with also): the tests run side by side and log into one file.
  static std::string LogOnceItHas(size_t offset, const std::string& text, size_t lines,
                                  const std::string& also = std::string()) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (;;) {
      const std::string log = Log().substr(offset);
      size_t found = 0;
      for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) {
        const size_t lineStart = log.rfind('\n', at) + 1;
        const std::string line = log.substr(lineStart, log.find('\n', at) - lineStart);
        if (line.find(also) != std::string::npos) ++found;
      }
      if (found >= lines || std::chrono::steady_clock::now() > limit) return log;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }

  uint16_t m_nPort;
  int m_nTlsPort;
  bool m_bServerText = false;
  FakePlatform platform;
  CMainFrame frame{platform, nullptr};
};

TEST_F(DovecotTest, CountsOfRealMailboxes) {
  ASSERT_NE(0, m_nPort) << "DOVECOT_DIR names the server's folder";
  ChangeSettings(frame, [&](MailSettings& s) { s.m_bShowCount = 1; });
  Check("zero", "secret");
  EXPECT_EQ("No messages waiting", Tip());
  EXPECT_EQ(IDI_NOMAIL, Picture());
  Check("one", "secret");
  EXPECT_EQ("You have 1 message waiting", Tip());
  Check("twelve", "secret");
  EXPECT_EQ("You have 12 messages waiting", Tip());
  EXPECT_EQ(IDI_NEWMAIL, Picture());
  Check("other", "p a s s");
  EXPECT_EQ("You have 3 messages waiting", Tip());
  EXPECT_EQ(IDI_NEWMAIL, Picture());
  ASSERT_EQ(3u, platform.boxes.size());
  EXPECT_EQ("You have 12 messages waiting", platform.boxes[1].text);
}

// Two accounts checked side by side, the answering one on dovecot or the
// scripted server, the other's server silent for the whole limit or late.
// The answering account's tooltip line and picture follow its own check at
// once, its count box waits for the other at most the gathering window, and
// the silent one fails in its own line alone.
TEST_F(DovecotTest, AnAccountIsShownAtOnceAndBoxedWithinTheWindowWhateverTheOtherDoes) {
  using Clock = std::chrono::steady_clock;
  static constexpr int kLimitMs = 3000;
  struct Row {
    const char* what;
    bool onDovecot;
    bool answeringFirst;
    std::vector<ScriptStep> other;
    std::string box;
    std::string otherWhileBoxed;
  };
  const Row rows[] = {
      {"dovecot beside a silent server", true, true, {ScriptStep::Stall()},
       "You have 12 messages waiting\nMine: 12", "Other: Not connected"},
      {"the scripted server after a silent one", false, false, {ScriptStep::Stall()},
       "You have 2 messages waiting\nMine: 2", "Other: Not connected"},
      {"dovecot beside a late answer", true, true, StandardSession("+OK 3 300\r\n", 100),
       "You have 15 messages waiting\nMine: 12\nOther: 3", "Other: 3 waiting"},
  };
  platform.transports = [] {
    return std::make_unique<RedirectTransport>(CreatePosixTransport(), 0, kLimitMs);
  };
  int nextId = 10;
  for (const Row& row : rows) {
    ScriptServer answering, other;
    ASSERT_TRUE(answering.Start(StandardSession("+OK 2 320\r\n")));
    ASSERT_TRUE(other.Start(row.other));
    const auto account = [&nextId](const char* name, uint16_t port, const char* user) {
      AccountSettings made;
      made.name = name;
      made.server = "127.0.0.1:" + std::to_string(port);
      made.user = user;
      made.password = "secret";
      made.id = ++nextId;
      return made;
    };
    const AccountSettings mine = row.onDovecot ? account("Mine", m_nPort, "twelve")
                                               : account("Mine", answering.Port(), "alice");
    const AccountSettings theirs = account("Other", other.Port(), "bob");
    ChangeSettings(frame, [&](MailSettings& s) {
      s.m_bShowCount = 1;
      SetAccounts(s, row.answeringFirst ? std::vector<AccountSettings>{mine, theirs}
                                        : std::vector<AccountSettings>{theirs, mine});
    });
    const size_t otherIndex = row.answeringFirst ? 1 : 0;
    const std::string line = row.onDovecot ? "Mine: 12 waiting" : "Mine: 2 waiting";
    std::optional<Clock::time_point> shown, boxed;
    std::string boxText, tipInBox;
    bool otherChecking = false;
    platform.whileMessageBox = [&](const MessageBoxCall& box) {
      boxed = Clock::now();
      boxText = box.text;
      tipInBox = Tip();
      otherChecking = frame.Monitor(otherIndex).IsChecking();
    };
    const auto start = Clock::now();
    frame.CheckNow();
    ASSERT_TRUE(platform.RunUntil(
        [&] {
          if (!shown && Tip().find(line) != std::string::npos && Picture() == IDI_NEWMAIL)
            shown = Clock::now();
          return boxed.has_value();
        },
        std::chrono::seconds(5)))
        << row.what;
    ASSERT_TRUE(shown) << row.what << ": " << Tip();
    EXPECT_LT(*shown - start, std::chrono::seconds(1)) << row.what;
    EXPECT_LE(*boxed - *shown, Gathering::kWindow + std::chrono::milliseconds(100)) << row.what;
    EXPECT_EQ(row.box, boxText) << row.what;
    EXPECT_NE(std::string::npos, tipInBox.find(line)) << row.what << ": " << tipInBox;
    EXPECT_NE(std::string::npos, tipInBox.find(row.otherWhileBoxed))
        << row.what << ": " << tipInBox;
    EXPECT_TRUE(otherChecking) << row.what << ": still silent, or waiting for its QUIT";
    platform.whileMessageBox = nullptr;
    ASSERT_TRUE(platform.RunUntil([&] { return !frame.IsChecking(); },
                                  std::chrono::milliseconds(kLimitMs + 2000)))
        << row.what;
    if (row.other.size() == 1) {
      EXPECT_NE(std::string::npos, Tip().find("Other: Couldn't connect to POP3 server!")) << Tip();
    }
    EXPECT_EQ(IDI_NEWMAIL, Picture()) << row.what;
    std::cout << "[ FIGURE   ] " << row.what << ": tooltip after "
              << std::chrono::duration_cast<std::chrono::milliseconds>(*shown - start).count()
              << " ms, count box "
              << std::chrono::duration_cast<std::chrono::milliseconds>(*boxed - *shown).count()
              << " ms after that\n";
  }
}

// Puts a message into the mailbox of user news as a delivery does: written and owned in tmp/,
// then renamed into new/, because dovecot may move anything in new/ to cur/ at any time.
std::string Deliver(const std::string& name, const std::string& header) {
  const std::string maildir = Instance("mail/news/Maildir");
  const std::string written = maildir + "/tmp/" + name + ".news";
  const std::string path = maildir + "/new/" + name + ".news";
  std::ofstream(written) << header << "\n\nHello.\n";
  struct stat owner;
  if (stat(maildir.c_str(), &owner) != 0 ||
      chown(written.c_str(), owner.st_uid, owner.st_gid) != 0 ||
      rename(written.c_str(), path.c_str()) != 0)
    ADD_FAILURE() << path << ": " << std::strerror(errno);
  return path;
}

// The message's file wherever dovecot has moved it.
void Expunge(const std::string& name) {
  for (const char* folder : {"/new/", "/cur/"}) {
    const std::string dir = Instance("mail/news/Maildir") + folder;
    std::system(("rm -f '" + dir + name + ".news'*").c_str());
  }
}

TEST_F(DovecotTest, NewMailIsToldOnceWithDecodedSendersAndSubjects) {
  platform.files["C:\\Tools\\tarvik.ini"] = "";
  // /bin/sh knows no {new,cur}: each folder is named, so a rerun starts empty.
  const std::string maildir = "'" + Instance("mail/news/Maildir") + "'";
  std::system(("rm -f " + maildir + "/new/* " + maildir + "/cur/*").c_str());
  const auto balloon = [this]() -> std::string {
    const size_t shown = platform.balloons.size();
    Check("news", "secret");
    if (platform.balloons.size() == shown) return "";
    return platform.balloons.back().title + "|" + platform.balloons.back().text;
  };
  Deliver("1704103201.M1P1", "From: =?UTF-8?B?Wm/Dqw==?= <zoe@example.test>\n"
                             "Subject: =?ISO-8859-1?Q?caf=E9?= =?ISO-8859-1?Q?_au_lait?=");
  EXPECT_EQ("1 new message|Zoë: café au lait", balloon());
  EXPECT_EQ("", balloon()) << "nothing new at the second check";
  EXPECT_EQ("You have 1 message waiting", Tip());

  Deliver("1704103202.M2P1", "From: \"Bob\" <bob@example.test>\n.Dotted: yes\n"
                             "Subject: folded\n over two lines");
  Deliver("1704103203.M3P1", "From: carol@example.test\nSubject: =?utf-8?q?=D0=9F=D1=80=D0=B8?=");
  Expunge("1704103201.M1P1");
  EXPECT_EQ("2 new messages|carol@example.test: При\nBob: folded over two lines", balloon());
  Deliver("1704103204.M1P1", "From: =?UTF-8?B?Wm/Dqw==?= <zoe@example.test>\nSubject: again");
  EXPECT_EQ("1 new message|Zoë: again", balloon()) << "delivered again, so new again";
  for (int i = 5; i <= 11; ++i)
    Deliver("17041032" + std::to_string(i + 10) + ".M" + std::to_string(i) + "P1",
            "From: n" + std::to_string(i) + "@example.test\nSubject: " + std::to_string(i));
  EXPECT_EQ("7 new messages|n11@example.test: 11\nn10@example.test: 10\n"
            "n9@example.test: 9\nand 4 more",
            balloon());
  EXPECT_EQ("", balloon());
}

TEST_F(DovecotTest, AWrongPasswordIsRejected) {
  ASSERT_NE(0, m_nPort);
  Check("twelve", "wrong");
  ASSERT_EQ(1u, platform.boxes.size());
  EXPECT_EQ("Incorrect password or user name!", platform.boxes[0].text);
  EXPECT_EQ(IDI_NOTCONNECTED, Picture());
  Check("nobody", "secret");
  ASSERT_EQ(2u, platform.boxes.size())
      << "dovecot accepts any user name and refuses the login at PASS";
  EXPECT_EQ("Incorrect password or user name!", platform.boxes[1].text);
}

TEST_F(DovecotTest, TlsFromTheFirstByteAndAfterStlsShowTheCount) {
  ASSERT_NE(0, m_nTlsPort) << "the server in DOVECOT_DIR has no TLS port";
  for (const std::string& server :
       {Tls("pop3s://localhost"), Plain("POP3+STARTTLS://localhost"), Tls("pop3s://[::1]")}) {
    const size_t logStart = Log().size();
    CheckAt(server);
    EXPECT_EQ("You have 12 messages waiting", Tip()) << server;
    EXPECT_EQ(IDI_NEWMAIL, Picture()) << server;
    const std::string log = LogOnceItHas(logStart, "Login: user=<twelve>", 1, ", TLS");
    EXPECT_NE(std::string::npos, log.find(", TLS")) << server << ": " << log;
  }
  EXPECT_NE(std::string::npos, Log().find("rip=::1, lip=::1")) << "one check went over IPv6";
}

TEST_F(DovecotTest, NoCertificateButTheRightOneIsTrustedAndNothingOfTheUsersIsSent) {
  if (!PrivateHosts::s_bInPlace) GTEST_SKIP() << "the test names need a private hosts file (root)";
  const std::string servers[] = {
      Tls("pop3s://self-signed.test"),    Tls("pop3s://expired.test"),
      Tls("pop3s://wrong-name.test"),     Plain("pop3+starttls://wrong-name.test"),
      Tls("pop3s://127.0.0.1"),
  };
  const size_t logStart = Log().size();
  // A user name no other test sends: the tests run side by side on one server
  // and its one log.
  for (const std::string& server : servers) {
    CheckAt(server, "untrusted");
    EXPECT_EQ("Server certificate isn't trusted!", Tip()) << server;
    EXPECT_EQ(IDI_NOTCONNECTED, Picture()) << server;
  }
  EXPECT_TRUE(platform.boxes.empty());
  const std::string log = LogOnceItHas(logStart, "no auth attempts", std::size(servers));
  EXPECT_EQ(std::string::npos, log.find("user=<untrusted>")) << log;
}

TEST_F(DovecotTest, TlsWherePlainTextIsSpokenIsNoSecureConnection) {
  CheckAt(Plain("pop3s://localhost"));
  EXPECT_EQ("Couldn't make a secure connection!", Tip());
  EXPECT_EQ(IDI_NOTCONNECTED, Picture());
}

// The plain server listens on 127.0.0.1 alone, and localhost is ::1 first:
// there nothing listens, or a listener that never answers.
TEST_F(DovecotTest, ANameWhoseFirstAddressFailsIsReachedAtItsSecond) {
  if (!PrivateHosts::s_bInPlace) GTEST_SKIP() << "needs a private hosts file (root)";
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  ASSERT_EQ(0, getaddrinfo("localhost", nullptr, &hints, &found));
  const int firstFamily = found->ai_family;
  const bool secondAddress = found->ai_next != nullptr;
  freeaddrinfo(found);
  ASSERT_EQ(AF_INET6, firstFamily);
  ASSERT_TRUE(secondAddress);
  CheckAt(Plain("localhost"));
  EXPECT_EQ("You have 12 messages waiting", Tip());

  const UnansweringListener silent("::1", m_nPort);
  ASSERT_TRUE(silent.Full());
  const auto start = std::chrono::steady_clock::now();
  CheckAt(Plain("localhost"));
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ("You have 12 messages waiting", Tip());
  EXPECT_LT(took, std::chrono::seconds(1));
  std::cout << "[ FIGURE   ] one silent address first: the check took "
            << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms\n";
}

// Four addresses that never answer share one limit.
TEST_F(DovecotTest, FourSilentAddressesFailWithinOneLimit) {
  if (!PrivateHosts::s_bInPlace) GTEST_SKIP() << "needs a private hosts file (root)";
  std::vector<std::unique_ptr<UnansweringListener>> silent;
  for (const char* address : {"127.0.0.11", "127.0.0.12", "127.0.0.13", "127.0.0.14"}) {
    silent.push_back(std::make_unique<UnansweringListener>(address, m_nPort));
    ASSERT_TRUE(silent.back()->Full()) << address;
  }
  const std::unique_ptr<Transport> transport = CreatePosixTransport();
  ASSERT_TRUE(transport->Startup());
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(transport->Resolve("dead.test", m_nPort, 2000));
  EXPECT_EQ(ConnectResult::kFailed, transport->Connect(2000));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2300));
}

// The peer ends the connection right after the handshake, closing or
// resetting it; whatever the check then does must not raise SIGPIPE, which
// would end the whole process.
TEST_F(DovecotTest, NoBrokenPipeAfterAnAbortOrAResetMidTls) {
  for (const bool reset : {false, true}) {
    const int listener = socket(AF_INET6, SOCK_STREAM, 0);
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    socklen_t length = sizeof address;
    ASSERT_EQ(0, bind(listener, reinterpret_cast<sockaddr*>(&address), length));
    ASSERT_EQ(0, listen(listener, 1));
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    std::thread peer([&] {
      const int client = accept(listener, nullptr, nullptr);
      SSL_CTX* context = SSL_CTX_new(TLS_server_method());
      SSL_CTX_use_certificate_chain_file(context, Instance("tls/localhost.pem").c_str());
      SSL_CTX_use_PrivateKey_file(context, Instance("tls/localhost.key").c_str(), SSL_FILETYPE_PEM);
      SSL* ssl = SSL_new(context);
      SSL_set_fd(ssl, client);
      SSL_accept(ssl);
      const linger abrupt{1, 0};
      if (reset) setsockopt(client, SOL_SOCKET, SO_LINGER, &abrupt, sizeof abrupt);
      close(client);
      SSL_free(ssl);
      SSL_CTX_free(context);
    });
    const std::unique_ptr<Transport> transport = CreatePosixTransport(Instance("tls/ca.pem"));
    ASSERT_TRUE(transport->Startup());
    ASSERT_TRUE(transport->Resolve("::1", ntohs(address.sin6_port), 5000));
    ASSERT_EQ(ConnectResult::kConnected, transport->Connect(5000));
    EXPECT_EQ(SecureResult::kSecured, transport->StartSecure("::1", 5000)) << reset;
    peer.join();
    close(listener);
    if (!reset) transport->Abort();
    char buffer[16];
    EXPECT_GE(0, transport->Receive(buffer, sizeof buffer, 1000));
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(transport->Send("NOOP\r\n", 1000)) << reset;
    EXPECT_TRUE(transport->CloseSocket());
  }
}

// A token as an identity provider mints it: an RS256 JWT for sub that
// expires expiresIn seconds from now, signed with the instance's key file.
std::string Token(const std::string& keyFile, const std::string& sub, long expiresIn) {
  const long now = static_cast<long>(std::time(nullptr));
  const std::string signedPart =
      Base64Url(R"({"alg":"RS256","typ":"JWT"})") + "." +
      Base64Url(R"({"sub":")" + sub + R"(","iat":)" + std::to_string(now) +
                R"(,"exp":)" + std::to_string(now + expiresIn) + "}");
  FILE* file = std::fopen(Instance(keyFile).c_str(), "r");
  EVP_PKEY* key = file ? PEM_read_PrivateKey(file, nullptr, nullptr, nullptr) : nullptr;
  if (file) std::fclose(file);
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  const auto* bytes = reinterpret_cast<const unsigned char*>(signedPart.data());
  std::string signature(1024, '\0');
  size_t length = signature.size();
  const bool signedOk =
      key && EVP_DigestSignInit(context, nullptr, EVP_sha256(), nullptr, key) == 1 &&
      EVP_DigestSign(context, reinterpret_cast<unsigned char*>(&signature[0]), &length, bytes,
                     signedPart.size()) == 1;
  EVP_MD_CTX_free(context);
  EVP_PKEY_free(key);
  EXPECT_TRUE(signedOk) << keyFile;
  signature.resize(signedOk ? length : 0);
  return signedPart + "." + Base64Url(signature);
}

// As a monitor checks an account that signs in with Microsoft: a good token
// logs in; an expired, wrongly signed or another user's token is refused,
// renewed at the token endpoint and the check logs in with the new one.
TEST_F(DovecotTest, Xoauth2LogsInWithAGoodTokenAndARefusedOneIsRenewed) {
  FakeWorld world;
  const auto web = std::make_shared<FakeWeb>();
  auto now = std::chrono::steady_clock::now();
  SignInTokens tokens(std::make_shared<FakeCredentials>(world), web, [&now] { return now; });
  AccountSettings account;
  account.server = Tls("pop3s://localhost");
  account.user = "twelve";
  account.signIn = kSignInMicrosoft;
  tokens.Follow({account}, MicrosoftSetupFrom("id", "", ""));
  const std::string good = Token("oauth2/signing.key", "twelve", 600);
  web->answers = {FakeWeb::Granted(good, "RT2")};
  MailAccount mailbox{account.server, account.user, ""};
  mailbox.tokenHosts = {"localhost"};
  std::vector<std::string> refusals;
  const auto converse = [&](const MailAccount& withToken) {
    struct : OutcomeHandover {
      void PresentBeforeQuit(const CheckOutcome& outcome) override { told = outcome; }
      CheckOutcome told;
    } handover;
    const std::unique_ptr<Transport> transport = CreatePosixTransport(Instance("tls/ca.pem"));
    const CheckOutcome last = RunMailCheck(*transport, withToken, 10000, handover);
    if (last.kind == OutcomeKind::kTokenRefused) refusals.push_back(last.refusal);
    return last.kind == OutcomeKind::kEnded ? handover.told : last;
  };
  for (const std::string& token :
       {good, Token("oauth2/signing.key", "twelve", -600), Token("oauth2/other.key", "twelve", 600),
        Token("oauth2/signing.key", "one", 600)}) {
    tokens.SignedIn(0, {TokenStatus::kGranted, token, "RT1", 3600, "", ""});
    now += std::chrono::seconds(90);
    const CheckOutcome counted = ConverseWithToken(tokens, 0, mailbox, converse, 10000, nullptr);
    EXPECT_EQ(OutcomeKind::kMailboxCount, counted.kind);
    EXPECT_EQ(12, counted.count);
  }
  EXPECT_EQ(3u, web->requests.size());
  EXPECT_EQ(std::vector<std::string>(3, "-ERR [AUTH] Authentication failed."), refusals);
}

// An IMAP account that signs in with Microsoft holds its connection on the
// token it logged in with. When the server ends that connection after the
// token expired, the reconnection's refused token is renewed and the count
// comes again on a connection held anew, with no sign-in asked of the user.
TEST_F(DovecotTest, AHeldImapConnectionEndedAfterItsTokenExpiredRenewsItAndLogsInAgain) {
  FakeWorld world;
  const auto web = std::make_shared<FakeWeb>();
  std::atomic<int> minutesOn{0};
  const auto tokens = std::make_shared<SignInTokens>(
      std::make_shared<FakeCredentials>(world), web,
      [&minutesOn] { return std::chrono::steady_clock::now() + std::chrono::minutes(minutesOn); });
  AccountSettings account;
  account.server =
      "imaps://localhost:" + std::to_string(std::atoi(FileText(Instance("imaps_port")).c_str()));
  account.user = "inbox6";
  account.signIn = kSignInMicrosoft;
  tokens->Follow({account}, MicrosoftSetupFrom("id", "", ""));
  const std::time_t expires = std::time(nullptr) + 2;
  tokens->SignedIn(
      0, {TokenStatus::kGranted, Token("oauth2/signing.key", "inbox6", 2), "RT1", 3600, "", ""});
  web->answers = {FakeWeb::Granted(Token("oauth2/signing.key", "inbox6", 600), "RT2")};
  CheckJob job;
  job.mailbox = {account.server, account.user, ""};
  job.mailbox.tokenHosts = {"localhost"};
  job.files = platform.GetServices().files;
  job.charsets = platform.GetServices().charsets;
  job.seenPath = "C:\\Tools\\inbox6.seen";
  job.tokens = tokens;
  const auto outbox = std::make_shared<Outbox>(platform, 0x8001);
  const auto run = CheckRun::Start(job, CreatePosixTransport(Instance("tls/ca.pem")), outbox);
  const auto next = [&outbox] {
    for (const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
         std::chrono::steady_clock::now() < end;) {
      const std::vector<AccountOutcome> taken = outbox->TakeAll();
      if (!taken.empty()) return taken.back();
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return AccountOutcome();
  };
  AccountOutcome told = next();
  EXPECT_EQ(OutcomeKind::kMailboxCount, told.outcome.kind);
  EXPECT_TRUE(told.held);
  EXPECT_TRUE(web->Requests().empty());

  while (std::time(nullptr) <= expires) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  minutesOn = 2;  // no longer freshly renewed, as an hour-long token never is when it expires
  ASSERT_EQ(0, std::system(
                   ("doveadm -c " + Instance("dovecot.conf") + " kick inbox6 >/dev/null").c_str()));
  told = next();
  EXPECT_EQ(OutcomeKind::kMailboxCount, told.outcome.kind);
  EXPECT_TRUE(told.held);
  EXPECT_FALSE(told.last);
  EXPECT_EQ(1u, web->Requests().size()) << "renewed once";
  run->Abandon();
  run->WaitDone(std::chrono::steady_clock::now() + std::chrono::seconds(5));
}

}  // namespace
