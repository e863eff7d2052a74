#include "agent/main_frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <future>
#include <thread>

#include "platform/utf8_text.h"
#include "monitor/check_gate.h"
#include "agent/presentation.h"
#include "platform/ui/dialog.h"
#include "platform/win_constants.h"
#include "res/resource.h"
#include "check/signin/xoauth2.h"
#include "tests/double/check_driver.h"
#include "tests/double/fake_browser.h"
#include "tests/double/fake_platform.h"
#include "tests/double/fake_tray.h"
#include "tests/double/gated_transport.h"
#include "tests/double/memory_transport.h"

namespace {

using Lines = std::vector<std::string>;

const char kSettingsPath[] = "C:\\Tools\\tarvik.ini";

std::string SettingsFile(const std::string& interval = "5", const std::string& sounds = "TRUE",
                         const std::string& showCount = "TRUE") {
  return "pop.example.com\r\nalice\r\nsecret\r\n" + interval + "\r\n" + sounds + "\r\nnew.wav\r\n" +
         sounds + "\r\nnone.wav\r\n" + sounds + "\r\nerr.wav\r\n" + showCount + "\r\n";
}

class MainFrameTest : public ::testing::Test {
 protected:
  MainFrameTest() {
    platform.transports = [this] { return server.NewSession(); };
    platform.files[kSettingsPath] = SettingsFile();
    server = MemoryServer::Standard("+OK 0 0\r\n");
  }
  // A check still running is abandoned first: waiting on it could last forever.
  ~MainFrameTest() override {
    if (frame.Handle()) platform.DestroyWindow(frame.Handle());
    server.WaitUntilSessionsEnd();
  }

  // Creates the frame; its start-up runs the first check.
  void Start() {
    ASSERT_TRUE(frame.Create("Tarvik"));
    FinishCheck(platform, frame);
  }
  // Forgets what start-up did, so a test sees only what follows.
  void StartQuietly() {
    Start();
    platform.events.clear();
    platform.boxes.clear();
  }
  void Answer(const std::string& statReply) { server = MemoryServer::Standard(statReply); }
  // A double click; a check it starts is run to its end.
  void DoubleClick() {
    const bool wasChecking = frame.IsChecking();
    platform.SendToFrame(WM_TRAY_NOTIFY, 2000, win::kWmLButtonDblClk);
    if (!wasChecking) FinishCheck(platform, frame);
  }
  void Tick(int count = 1) {
    platform.Tick(count);
    FinishCheck(platform, frame);
  }
  std::string Tip() const { return frame.Icon().tip; }
  int Picture() const { return frame.Icon().pictureId; }
  Lines BoxTexts() const {
    Lines texts;
    for (const MessageBoxCall& box : platform.boxes) texts.push_back(box.text);
    return texts;
  }

  FakePlatform platform;
  MemoryServer server;
  CMainFrame frame{platform, nullptr};
};

TEST_F(MainFrameTest, StartUpAddsTheIconBuildsTheMenuLoadsSettingsAndChecks) {
  Start();
  const Lines expected = {"create frame Tarvik", "tray add 135 Not connected", "timer 1 10000",
                          "sound none.wav", "tray modify 132 No messages waiting"};
  EXPECT_EQ(expected, platform.events);
  ASSERT_FALSE(platform.trayRecords.empty());
  const TrayRecord& added = platform.trayRecords.front();
  EXPECT_EQ(frame.Handle(), added.window);
  EXPECT_EQ(2000u, added.id);
  EXPECT_EQ(1524u, added.callbackMessage);
  EXPECT_EQ("pop.example.com", server.host) << "settings are loaded before the first check";
  EXPECT_EQ(kSettingsPath, frame.m_strSettingsPath);
  EXPECT_EQ(0, frame.Monitor(0).m_nTicks);
  EXPECT_EQ(0, frame.Monitor(0).m_nMinutes);
}

TEST_F(MainFrameTest, MenuHasFiveItemsWhenTheRunKeyOpens) {
  platform.machineRun.value = "C:\\Tools\\tarvik.exe ";
  Start();
  const std::vector<MenuItem> items = platform.MenuItems();
  ASSERT_EQ(8u, items.size());
  const std::pair<unsigned, const char*> expected[] = {
      {ID_OPEN_MAIL, "Open &mail"},       {ID_SERVER_OPTIONS, "&Server options"},
      {ID_ACCOUNTS, "A&ccounts..."},      {ID_SOUND_OPTIONS, "S&ound options"},
      {ID_NOTIFICATION_OPTIONS, "&Notification options"},
      {ID_AUTORUN, "Autorun at boot"},     {ID_TRAY_ABOUT, "&About..."},
      {ID_TRAY_EXIT, "E&xit"}};
  for (size_t i = 0; i < items.size(); ++i) {
    EXPECT_EQ(expected[i].first, items[i].command);
    EXPECT_EQ(expected[i].second, items[i].text);
    EXPECT_EQ(i == 5, items[i].checked);
  }
  EXPECT_EQ(1, frame.m_bAutorun);
}

TEST_F(MainFrameTest, MenuHasFourItemsWhenNeitherRunKeyCanBeWritten) {
  platform.machineRun.writable = platform.userRun.writable = false;
  platform.machineRun.value = "C:\\Tools\\tarvik.exe ";
  Start();
  Lines texts;
  for (const MenuItem& item : platform.MenuItems()) texts.push_back(item.text);
  EXPECT_EQ((Lines{"Open &mail", "&Server options", "A&ccounts...", "S&ound options",
                   "&Notification options", "&About...", "E&xit"}),
            texts);
}

TEST_F(MainFrameTest, AutorunItemStartsUncheckedWithoutTheValue) {
  Start();
  EXPECT_FALSE(platform.MenuItems().at(5).checked);
  EXPECT_EQ(0, frame.m_bAutorun);
}

TEST_F(MainFrameTest, WithoutASettingsFileTheDefaultsHoldAndNothingIsChecked) {
  platform.files.clear();
  Start();
  Tick(30);
  EXPECT_EQ(5, frame.Settings().m_nInterval);
  EXPECT_EQ(
      0, frame.Settings().m_bNewMailSound + frame.Settings().m_bNoMailSound + frame.Settings().m_bErrorSound + frame.Settings().m_bShowCount);
  EXPECT_EQ("", frame.Settings().m_strServer);
  EXPECT_EQ("No POP3 server set: right-click, Server options", Tip());
  EXPECT_EQ(IDI_NOTCONNECTED, Picture());
  EXPECT_TRUE(platform.boxes.empty());
  EXPECT_TRUE(platform.EventsStartingWith("sound").empty());
  EXPECT_EQ(0, server.sessions) << "no traffic";
  ASSERT_EQ(1u, platform.balloons.size()) << "said once in a balloon, not at every tick";
  EXPECT_EQ("No POP3 server set: right-click, Server options", platform.balloons[0].text);
  EXPECT_FALSE(platform.balloons[0].news) << "shown in the quiet time";

  platform.dialogScripts.push_back([](FakeDialog& dialog) {
    dialog.Type(IDC_SERVER, "pop.example.com");
    dialog.Type(IDC_PASSWORD, "secret");
    dialog.Click(kIdOk);
  });
  platform.SendToFrame(win::kWmCommand, ID_SERVER_OPTIONS);
  FinishCheck(platform, frame);
  EXPECT_EQ(1, server.sessions) << "the server saved is checked at once";
  EXPECT_EQ("No messages waiting", Tip());
}

TEST_F(MainFrameTest, WithoutAnyPasswordNothingIsSentAndTheTipSaysWhatIsNeeded) {
  platform.files[kSettingsPath] = "pop.example.com\r\nalice\r\n\r\n5\r\n";
  platform.transports = [this] {
    ADD_FAILURE() << "no connection without a password";
    return server.NewSession();
  };
  Start();
  Tick(6 * 5);
  EXPECT_EQ("Password needed: right-click, Server options", Tip());
  EXPECT_EQ(IDI_NOTCONNECTED, Picture());
  EXPECT_TRUE(platform.boxes.empty());
  EXPECT_TRUE(platform.EventsStartingWith("sound").empty());

  platform.transports = [this] { return server.NewSession(); };
  platform.dialogScripts.push_back([](FakeDialog& open) {
    open.Type(IDC_PASSWORD, "secret");
    open.Click(kIdOk);
  });
  platform.SendToFrame(win::kWmCommand, ID_SERVER_OPTIONS);
  FinishCheck(platform, frame);
  EXPECT_EQ("No messages waiting", Tip()) << "checking resumes once a password is saved";
  EXPECT_EQ("secret", platform.credentials["Tarvik:alice@pop.example.com"]);
  EXPECT_EQ(1, server.sessions);
}

TEST_F(MainFrameTest, AFailedTimerIsReportedAndStartUpGoesOn) {
  platform.timerStarts = false;
  Start();
  ASSERT_EQ(1u, platform.boxes.size());
  EXPECT_EQ("Sorry ,couldn't set up the timer\nExit and run the program again.",
            platform.boxes[0].text);
  EXPECT_EQ("Tarvik", platform.boxes[0].caption);
  EXPECT_EQ(BoxKind::kPlain, platform.boxes[0].kind);
  EXPECT_EQ(1, server.sessions);
  EXPECT_EQ(0, frame.Monitor(0).m_nTicks);
  EXPECT_EQ(0, frame.Monitor(0).m_nMinutes);
}

TEST_F(MainFrameTest, MailWaitingShowsTipPictureSoundAndBoxInThatOrder) {
  StartQuietly();
  Answer("+OK 3 320\r\n");
  DoubleClick();
  const Lines expected = {"sound new.wav", "foreground",
                          "box DOV3 Ozez Ezevada|You have 3 messages waiting",
                          "tray modify 134 You have 3 messages waiting"};
  EXPECT_EQ(expected, platform.events);
  ASSERT_EQ(1u, platform.boxes.size());
  EXPECT_EQ(BoxKind::kInformation, platform.boxes[0].kind);
}

TEST_F(MainFrameTest, OneMessageIsSingularAndEachSwitchIsHonoured) {
  platform.files[kSettingsPath] = SettingsFile("5", "FALSE", "FALSE");
  StartQuietly();
  Answer("+OK 1 120\r\n");
  DoubleClick();
  EXPECT_EQ((Lines{"foreground", "tray modify 134 You have 1 message waiting"}), platform.events);
}

TEST_F(MainFrameTest, NoMailOrACountBelowOneShowsNoMessagesWaiting) {
  StartQuietly();
  for (const char* reply : {"+OK 0 0\r\n", "+OK -4 0\r\n", "+OK none\r\n"}) {
    platform.events.clear();
    Answer(reply);
    DoubleClick();
    EXPECT_EQ((Lines{"sound none.wav", "tray modify 132 No messages waiting"}),
              platform.events)
        << reply;
  }
  EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(MainFrameTest, TextFromTheServerIsCutAndMadePrintableInTheTip) {
  platform.files[kSettingsPath] = SettingsFile("5", "FALSE", "TRUE");
  StartQuietly();
  Answer(std::string("+OK 3\x01\x7f\xe9\0z 1\r\n", 14));
  DoubleClick();
  EXPECT_EQ("You have 3????z messages waiting", Tip());
  EXPECT_EQ("You have 3????z messages waiting", platform.boxes.at(0).text);

  Answer("+OK " + std::string(200, '7') + " 1\r\n");
  DoubleClick();
  ASSERT_FALSE(platform.events.empty());
  EXPECT_EQ("tray modify 134 You have " + std::string(118, '7'), platform.events.back())
      << "the shell shows 127 UTF-16 units";
}

TEST(TrayTip, IsCutToUtf16UnitsWithoutSplittingACharacter) {
  const std::string euro = "\xE2\x82\xAC", clef = "\xF0\x9D\x84\x9E";  // 1 and 2 units
  EXPECT_EQ("a", CutToUtf16Units("a" + clef, 2)) << "a surrogate pair goes whole";
  EXPECT_EQ("a" + clef, CutToUtf16Units("a" + clef, 3));
  EXPECT_EQ(euro, CutToUtf16Units(euro + euro, 1)) << "never inside a UTF-8 sequence";
  EXPECT_EQ("\xC3", CutToUtf16Units("\xC3x", 1)) << "a broken byte shows as one character";
  EXPECT_TRUE(IsValidUtf8("\xC5\x81\xC3\xB3" "d\xC5\xBA " + euro + clef));
  for (const char* broken :
       {"\xC3", "\xE9" "t", "\xC0\xAF", "\xE0\x9F\xBF", "\xED\xA0\x80", "\xF0\x8F\xBF\xBF",
        "\xF4\x90\x80\x80"})
    EXPECT_FALSE(IsValidUtf8(broken)) << broken;
}

TEST_F(MainFrameTest, AFailedCheckPlaysTheErrorSoundAndKeepsThePreviousTip) {
  StartQuietly();
  Answer("+OK 3 320\r\n");
  ChangeSettings(frame, [&](MailSettings& s) { s.m_bShowCount = 0; });
  DoubleClick();
  platform.events.clear();
  Answer("-ERR mailbox locked\r\n");
  DoubleClick();
  EXPECT_EQ((Lines{"sound err.wav", "tray modify 135 You have 3 messages waiting"}),
            platform.events);
  EXPECT_EQ(IDI_NOTCONNECTED, Picture());
}

TEST_F(MainFrameTest, ARejectionIsBoxedOnceThenToldInTheTipUntilSomethingChanges) {
  const std::string err = "sound err.wav", box = "box DOV3 Ozez Ezevada|";
  const std::string pass = "Incorrect password or user name!", user = "Incorrect user name!";
  const std::string passTip = "tray modify 135 " + pass, userTip = "tray modify 135 " + user;
  const struct {
    const char* userReply;  // null: the mailbox is empty
    int retyped;            // the Server options field typed into first; 0: none
    Lines shown;
  } steps[] = {
      {"+OK\r\n", 0, {"foreground", box + pass, err, passTip}},
      {"+OK\r\n", 0, {passTip}},
      {"+OK\r\n", IDC_PASSWORD, {"foreground", box + pass, passTip}},
      {"-ERR\r\n", 0, {"foreground", box + user, userTip}},
      {"-ERR\r\n", 0, {userTip}},
      {"-ERR\r\n", IDC_USERNAME, {"foreground", box + user, userTip}},
      {nullptr, 0, {"sound none.wav", "tray modify 132 No messages waiting"}},
      {"-ERR\r\n", 0, {"foreground", box + user, err, userTip}},
  };
  StartQuietly();
  for (size_t i = 0; i < std::size(steps); ++i) {
    Answer("+OK 0 0\r\n");
    if (steps[i].userReply) {
      server = MemoryServer();
      server.Reply(0, "+OK\r\n").Reply(1, steps[i].userReply).Reply(2, "-ERR [AUTH] no\r\n");
    }
    if (steps[i].retyped) {
      platform.dialogScripts.push_back([field = steps[i].retyped](FakeDialog& dialog) {
        dialog.Type(field, "bob");
        dialog.Click(kIdOk);
      });
      platform.SendToFrame(win::kWmCommand, ID_SERVER_OPTIONS);
    }
    platform.events.clear();
    DoubleClick();
    EXPECT_EQ(steps[i].shown, platform.EventsStartingWith(steps[i].shown.size() > 1 ? "" : "tray"))
        << "step " << i;
  }
  EXPECT_EQ((Lines{"USER bob", "QUIT"}), server.transcript) << "a refused user name still quits";
}

TEST_F(MainFrameTest, WhatARefusalOrAnICloudServerAdvisesIsToldRefusalsInABox) {
  const std::string microsoft = "This account needs Microsoft sign-in: right-click, Server options",
                    app = "This account needs an app password: see the provider's security settings",
                    web = "The provider blocked this sign-in: sign in once on its website, then "
                          "check again",
                    icloud = "iCloud offers IMAP only: use imaps://imap.mail.me.com";
  const struct {
    const char* server;
    const char* userReply;
    const char* passReply;
    const char* failing;
    std::string line;
    bool boxed;
  } rows[] = {
      {"pop.example.com", "+OK\r\n", "-ERR Basic authentication is disabled.\r\n", "", microsoft,
       true},
      {"pop.example.com", "+OK\r\n", "-ERR [AUTH] Application-specific password required\r\n", "",
       app, true},
      {"pop.example.com", "-ERR [ALERT] WEB LOGIN REQUIRED\r\n", "", "", web, true},
      {"pop.example.com", "+OK\r\n", "-ERR Please log in via your web browser\r\n", "", web, true},
      {"pop.example.com", "+OK\r\n", "-ERR [AUTH] bad\r\n", "", "Incorrect password or user name!",
       true},
      {"pop3s://pop.mail.me.com", "", "", "resolve", icloud, false},
      {"iCloud.com:110", "", "", "connect", icloud, false},
      {"imaps://imap.mail.me.com", "", "", "resolve", "Couldn't resolve POP3 name!", false},
      {"pop.example.com", "", "", "connect", "Couldn't connect to POP3 server!", false},
  };
  StartQuietly();
  for (size_t i = 0; i < std::size(rows); ++i) {
    server = MemoryServer();
    server.Reply(0, "+OK\r\n").Reply(1, rows[i].userReply).Reply(2, rows[i].passReply);
    server.failingStep = rows[i].failing;
    ChangeSettings(frame, [&](MailSettings& s) {
      s.m_strServer = rows[i].server;
      s.m_strUser = "user" + std::to_string(i);
    });
    platform.boxes.clear();
    DoubleClick();
    EXPECT_EQ(rows[i].line, Tip()) << i;
    EXPECT_EQ(rows[i].boxed ? Lines{rows[i].line} : Lines{}, BoxTexts()) << i;
    EXPECT_EQ(IDI_NOTCONNECTED, Picture()) << i;
    if (rows[i].line != microsoft) continue;
    const int sessions = server.sessions;
    DoubleClick();
    EXPECT_EQ(sessions, server.sessions) << "no password goes there again";
    EXPECT_EQ(microsoft, Tip());
    ChangeSettings(frame, [](MailSettings& s) { s.m_strPassword = "retyped"; });
    DoubleClick();
    EXPECT_EQ(sessions + 1, server.sessions) << "until the password changes";
  }
}

// From "Sign-in needed" to a count: Server options signs in beside the
// dialog, keeps the refresh token and checks with the access token.
TEST_F(MainFrameTest, AMicrosoftServerSignsInThroughServerOptionsAndGetsNoPassword) {
  platform.files[kSettingsPath] = "pop3s://outlook.office365.com\r\nzoe\r\nsecret\r\n5\r\n";
  server = MemoryServer();
  const Lines replies = {"+OK\r\n", "+ \r\n", "+OK\r\n", "+OK 0 0\r\n", "+OK\r\n.\r\n"};
  for (size_t i = 0; i < replies.size(); ++i) server.Reply(i, replies[i]);
  Start();
  EXPECT_EQ("Sign-in needed: right-click, Server options", Tip());
  FakeBrowser browser({"GET /?code=C0DE&state=STATE"});
  platform.browser = [&browser](const std::string& url) { return browser.Open(url); };
  platform.web->answers = {FakeWeb::Granted("AT0", "RT0", "Zoe@Contoso.com")};
  platform.answerYes = true;
  const auto signIn = [this](FakeDialog& dialog) {
    EXPECT_TRUE(dialog.hidden[IDC_PASSWORD] && !dialog.hidden[IDC_SIGN_IN]);
    dialog.Click(IDC_SIGN_IN);
    while (dialog.Text(IDC_SIGN_IN) == "Waiting\xE2\x80\xA6 click to cancel")
      platform.DeliverPosted();
    EXPECT_EQ("Signed in as Zoe@Contoso.com", dialog.Text(IDC_SIGN_IN));
    dialog.Click(kIdOk);
  };
  platform.dialogScripts = {[](FakeDialog& dialog) { dialog.Click(IDC_SIGN_IN); }, signIn};
  platform.SendToFrame(win::kWmCommand, ID_SERVER_OPTIONS);
  EXPECT_NE(std::string::npos, platform.boxes.at(0).text.find("no Microsoft application id"));
  ChangeSettings(frame, [](MailSettings& s) { s.microsoftClientId = "id-1"; });
  platform.SendToFrame(win::kWmCommand, ID_SERVER_OPTIONS);
  FinishCheck(platform, frame);
  EXPECT_NE(std::string::npos, platform.boxes.at(1).text.find("not the user name zoe"));
  EXPECT_NE(std::string::npos, browser.authorizeUrl.find("&login_hint=zoe&"));
  EXPECT_EQ((Lines{"<TLS outlook.office365.com>", "AUTH XOAUTH2",
                   Xoauth2Payload("Zoe@Contoso.com", "AT0"), "STAT", "UIDL", "QUIT"}),
            server.transcript);
  EXPECT_EQ("No messages waiting", Tip());
  EXPECT_EQ("RT0", platform.credentials["Tarvik:Zoe@Contoso.com@pop3s://outlook.office365.com"]);
  const std::string saved = platform.files[kSettingsPath];
  EXPECT_EQ(0u, saved.find("pop3s://outlook.office365.com\r\nZoe@Contoso.com\r\n\r\n"));
  EXPECT_NE(std::string::npos, saved.find("\r\nSignIn=Microsoft\r\n"));
  EXPECT_EQ(std::string::npos, saved.find("RT0"));
}

TEST_F(MainFrameTest, AnUnreachableServerSaysSoInTheTip) {
  StartQuietly();
  server.failingStep = "connect";
  DoubleClick();
  EXPECT_EQ(
      (Lines{"sound err.wav", "tray modify 135 Couldn't connect to POP3 server!"}),
      platform.events);
}

TEST_F(MainFrameTest, ASecureConnectionThatFailsSaysWhyInTheTipWithoutABox) {
  StartQuietly();
  ChangeSettings(frame, [&](MailSettings& s) { s.m_strServer = "pop3s://pop.example.com"; });
  server.secureResult = SecureResult::kHandshakeFailed;
  DoubleClick();
  server.secureResult = SecureResult::kUntrusted;
  DoubleClick();
  const std::string err = "sound err.wav";
  EXPECT_EQ((Lines{err, "tray modify 135 Couldn't make a secure connection!",
                   "tray modify 135 Server certificate isn't trusted!"}),
            platform.events)
      << "one error sound for a run of failures";
  EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(MainFrameTest, EveryOtherOutcomeIsShownOnceWithOneIconUpdate) {
  const std::string err = "sound err.wav";
  const struct {
    const char* failing;
    int failingSend;
    Lines shown;
  } cases[] = {
      {"resolve", 0, {err, "tray modify 135 Couldn't resolve POP3 name!"}},
      {"socket", 0, {err, "tray modify 135 No messages waiting"}},
      {"close",
       0,
       {"sound none.wav", "tray modify 132 No messages waiting", err,
        "tray modify 135 No messages waiting"}},
      {"", 3, {err, "tray modify 135 No messages waiting"}},
      {"", 5,
       {"sound none.wav", "tray modify 132 No messages waiting", err,
        "tray modify 135 No messages waiting"}},
  };
  StartQuietly();
  for (const auto& c : cases) {
    Answer("+OK 0 0\r\n");
    DoubleClick();
    platform.events.clear();
    server.failingStep = c.failing;
    server.failingSend = c.failingSend;
    DoubleClick();
    EXPECT_EQ(c.shown, platform.events) << c.failing << c.failingSend;
  }
}

// A server with UIDL: messages are told once, by the listing, across checks.
MemoryServer Listing(const std::string& ids) {
  MemoryServer server;
  std::string listing = "+OK\r\n";
  for (size_t i = 0; i < ids.size(); ++i)
    listing += std::to_string(i + 1) + " id-" + ids[i] + "\r\n";
  server.Reply(0, "+OK\r\n").Reply(1, "+OK\r\n").Reply(2, "+OK\r\n")
      .Reply(3, "+OK " + std::to_string(ids.size()) + " 9\r\n").Reply(4, listing + ".\r\n");
  for (size_t i = 0; i < 3 && i < ids.size(); ++i)
    server.Reply(5 + i, "+OK\r\nFrom: =?UTF-8?Q?Zo=C3=AB?= <z@example.com>\r\nSubject: " +
                            std::string(1, ids[ids.size() - 1 - i]) + "\r\n\r\n.\r\n");
  return server;
}

TEST_F(MainFrameTest, NewMailIsAnnouncedOnceWithABalloon) {
  StartQuietly();
  const struct {
    std::string ids;
    const char* title;  // empty: no balloon, sound, foreground nor box
    const char* text;
  } checks[] = {
      {"a", "1 new message", "Zoë: a"},
      {"a", "", ""},
      {"abc", "2 new messages", "Zoë: c\nZoë: b"},
      {"c", "", ""},
      {"cdefghij", "7 new messages", "Zoë: j\nZoë: i\nZoë: h\nand 4 more"},
  };
  for (const auto& c : checks) {
    server = Listing(c.ids);
    platform.events.clear();
    platform.balloons.clear();
    platform.boxes.clear();
    DoubleClick();
    EXPECT_EQ(Picture(), IDI_NEWMAIL);
    const bool told = *c.title != '\0';
    EXPECT_EQ(told ? 1u : 0u, platform.balloons.size()) << c.ids;
    EXPECT_EQ(told ? 1u : 0u, platform.boxes.size()) << c.ids;
    EXPECT_EQ(told ? 1u : 0u, platform.EventsStartingWith("sound new.wav").size()) << c.ids;
    if (!told) continue;
    const BalloonCall& balloon = platform.balloons[0];
    EXPECT_EQ(c.title, balloon.title);
    EXPECT_EQ(c.text, balloon.text);
    EXPECT_EQ(IDI_NEWMAIL, balloon.picture);
    EXPECT_TRUE(balloon.silent) << "the program plays its own sound";
    EXPECT_TRUE(balloon.news) << "not shown in the quiet time";
  }
}

// What could never be answered is not asked: the outcome stands in for the check.
TEST(CheckGate, NoServerNoPasswordOrALoginPop3CannotSendMakesNoCheck) {
  const std::string unsendable = "User name or password can't be sent: too long or a line break";
  const struct {
    const char* server;
    std::string user;
    std::string password;
    std::optional<OutcomeKind> held;
  } rows[] = {
      {"", "alice", "pw", OutcomeKind::kNoServer},
      {" \t ", "alice", "pw", OutcomeKind::kNoServer},
      {"pop.example.com", "alice", "", OutcomeKind::kPasswordNeeded},
      {"pop.example.com", "alice\r\nDELE 1", "pw", OutcomeKind::kLoginUnsendable},
      {"pop3s://pop.example.com", "alice", std::string("p\0w", 3), OutcomeKind::kLoginUnsendable},
      {"pop.example.com", std::string(249, 'u'), "pw", OutcomeKind::kLoginUnsendable},
      {"pop.example.com", "alice", std::string(249, 'p'), OutcomeKind::kLoginUnsendable},
      {"pop.example.com", std::string(248, 'u'), std::string(248, 'p'), std::nullopt},
      {"pop.example.com:0", "a\nb", "pw", std::nullopt},  // the check says what is wrong
  };
  for (const auto& row : rows) {
    AccountSettings account;
    account.server = row.server;
    account.user = row.user;
    account.password = row.password;
    const std::optional<CheckOutcome> held = CheckHeldBack(account);
    EXPECT_EQ(row.held, held ? std::optional<OutcomeKind>(held->kind) : std::nullopt)
        << row.server << " " << row.user.size() << " " << row.password.size();
    if (!held || held->kind != OutcomeKind::kLoginUnsendable) continue;
    std::vector<AccountView> views = {{"", "login", {}}};
    const Announcement told = Decide(views, {{0, *held}}, MailSettings(), false);
    EXPECT_EQ(unsendable, told.tip);
    ASSERT_EQ(1u, told.boxes.size());
    EXPECT_EQ(unsendable, told.boxes[0].text);
    views[0].memory = told.remembered[0];
    EXPECT_TRUE(Decide(views, {{0, *held}}, MailSettings(), false).boxes.empty())
        << "one box till something changes";
  }
}

TEST_F(MainFrameTest, TheBoxOfACountOrARefusedUserNameComesBeforeQuit) {
  StartQuietly();
  Lines sentWhileOpen;
  platform.whileMessageBox = [&](const MessageBoxCall&) { sentWhileOpen = server.transcript; };
  Answer("+OK 2 20\r\n");
  DoubleClick();
  EXPECT_EQ((Lines{"USER alice", "PASS secret", "STAT", "UIDL", "TOP 2 0", "TOP 1 0"}),
            sentWhileOpen);
  ASSERT_FALSE(server.transcript.empty());
  EXPECT_EQ("QUIT", server.transcript.back());

  server = MemoryServer();
  server.Reply(0, "+OK\r\n").Reply(1, "-ERR\r\n");
  DoubleClick();
  EXPECT_EQ(Lines{"USER alice"}, sentWhileOpen);
  EXPECT_EQ((Lines{"USER alice", "QUIT"}), server.transcript);
}

TEST_F(MainFrameTest, ScheduledChecksComeEveryIntervalCountedInTicks) {
  Start();
  Tick(29);
  EXPECT_EQ(1, server.sessions);
  Tick();
  EXPECT_EQ(2, server.sessions) << "interval 5: 30 ticks";
  Tick(29);
  EXPECT_EQ(2, server.sessions);
  Tick();
  EXPECT_EQ(3, server.sessions);
}

TEST_F(MainFrameTest, ALoweredIntervalChecksAtTheEndOfTheCurrentMinute) {
  platform.files[kSettingsPath] = SettingsFile("30");
  Start();
  Tick(60);
  EXPECT_EQ(10, frame.Monitor(0).m_nMinutes);
  EXPECT_EQ(1, server.sessions);
  ChangeSettings(frame, [&](MailSettings& s) { s.m_nInterval = 5; });
  Tick(5);
  EXPECT_EQ(1, server.sessions);
  Tick();
  EXPECT_EQ(2, server.sessions);
  EXPECT_EQ(0, frame.Monitor(0).m_nMinutes);
  EXPECT_EQ(0, frame.Monitor(0).m_nTicks);
}

TEST_F(MainFrameTest, AResumeOrANetworkThatMayMendTheLastCheckMakesOneCheckAtTheNextTick) {
  const struct {
    const char* failing;
    int failingSend;
    bool resume;
    int checks;
  } cases[] = {{"", 0, true, 1},         {"connect", 0, true, 1},  {"", 0, false, 0},
               {"resolve", 0, false, 1}, {"connect", 0, false, 1}, {"", 3, false, 0}};
  Start();
  for (const auto& c : cases) {
    server.failingStep = c.failing;
    server.failingSend = c.failingSend;
    DoubleClick();
    Answer("+OK 0 0\r\n");
    for (int i = 0; i < 3; ++i)
      platform.SendToFrame(c.resume ? win::kWmPowerBroadcast : platform.systemEvents->networkMessage,
                           i % 2 ? win::kPbtApmResumeAutomatic : win::kPbtApmResumeSuspend);
    EXPECT_EQ(0, server.sessions) << "nothing before the tick";
    Tick(2);
    EXPECT_EQ(c.checks, server.sessions) << c.failing << c.failingSend << c.resume;
  }
}

TEST_F(MainFrameTest, ANetworkWatchTheSystemRefusesChangesNothingAtStartUp) {
  platform.systemEvents->refused = true;
  Start();
  EXPECT_TRUE(platform.trayIconShown);
  EXPECT_EQ(1, server.sessions);
  EXPECT_EQ("No messages waiting", Tip());
}

TEST_F(MainFrameTest, ADoubleClickChecksAtOnceAndLeavesTheScheduleAlone) {
  Start();
  Tick(9);
  DoubleClick();
  EXPECT_EQ(2, server.sessions);
  EXPECT_EQ(3, frame.Monitor(0).m_nTicks);
  EXPECT_EQ(1, frame.Monitor(0).m_nMinutes);
  Tick(21);
  EXPECT_EQ(3, server.sessions) << "the running count completes as before";
}

// A wake-up the system fails to deliver loses no outcome: the next ticks
// take what waits, and the check ends as it would.
TEST_F(MainFrameTest, AnOutcomeWhoseWakeUpIsLostIsTakenAtATick) {
  StartQuietly();
  ChangeSettings(frame, [](MailSettings& s) { s.m_bShowCount = 0; });
  Answer("+OK 3 320\r\n");
  platform.postFailures = 2;
  platform.SendToFrame(WM_TRAY_NOTIFY, 2000, win::kWmLButtonDblClk);
  for (int tick = 0; tick < 20 && frame.IsChecking(); ++tick) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    platform.Tick();
  }
  EXPECT_FALSE(frame.IsChecking());
  EXPECT_EQ("You have 3 messages waiting", Tip());
}

TEST_F(MainFrameTest, ChecksDoNotPileUpWhileABoxWaitsForTheUser) {
  StartQuietly();
  Answer("+OK 2 20\r\n");
  int boxesOpen = 0;
  platform.whileMessageBox = [&](const MessageBoxCall&) {
    ++boxesOpen;
    platform.Tick(30);
    DoubleClick();
  };
  DoubleClick();
  EXPECT_EQ(1, boxesOpen);
  EXPECT_EQ(1, server.sessions);
  EXPECT_EQ(0, frame.Monitor(0).m_nMinutes) << "the schedule went on counting meanwhile";
  platform.whileMessageBox = nullptr;
  DoubleClick();
  EXPECT_EQ(2, server.sessions) << "once the box is closed, checks run again";
}

TEST_F(MainFrameTest, RightClickOpensTheMenuAtTheCursorOtherMouseMessagesDoNothing) {
  StartQuietly();
  for (unsigned message :
       {win::kWmMouseMove, win::kWmLButtonDown, win::kWmLButtonUp, win::kWmRButtonUp})
    EXPECT_EQ(0, platform.SendToFrame(WM_TRAY_NOTIFY, 2000, message));
  EXPECT_TRUE(platform.events.empty());
  EXPECT_EQ(1, server.sessions);
  platform.SendToFrame(WM_TRAY_NOTIFY, 2000, win::kWmRButtonDown);
  EXPECT_EQ((Lines{"foreground", "menu"}), platform.events);
}

TEST_F(MainFrameTest, CloseAndExitBothSaveRemoveTheIconAndEnd) {
  for (bool viaMenu : {false, true}) {
    FakePlatform closing;
    closing.files[kSettingsPath] = SettingsFile("17");
    closing.transports = [this] { return server.NewSession(); };
    CMainFrame closed(closing, nullptr);
    ASSERT_TRUE(closed.Create("Tarvik"));
    FinishCheck(closing, closed);
    ChangeSettings(closed, [&](MailSettings& s) { s.m_strUser = "bob"; });
    closing.events.clear();
    if (viaMenu)
      closing.SendToFrame(win::kWmCommand, ID_TRAY_EXIT);
    else
      closing.SendToFrame(win::kWmClose);
    const Lines expected = {"credential write Tarvik:bob@pop.example.com",
                            std::string("save ") + kSettingsPath,
                            "tray delete 132 No messages waiting",
                            "destroy frame",
                            "quit"};
    EXPECT_EQ(expected, closing.events) << viaMenu;
    EXPECT_EQ(
        "pop.example.com\r\nbob\r\n\r\n17\r\nTRUE\r\nnew.wav\r\nTRUE\r\nnone.wav\r\n"
        "TRUE\r\nerr.wav\r\nTRUE\r\n",
        closing.files[kSettingsPath]);
    EXPECT_EQ("secret", closing.credentials["Tarvik:bob@pop.example.com"]);
    EXPECT_FALSE(closing.trayIconShown);
    EXPECT_EQ(nullptr, closed.Handle());
  }
}

TEST_F(MainFrameTest, AFailedSaveDoesNotKeepTheProgramFromEnding) {
  for (const bool readOnly : {false, true}) {
    FakePlatform failing;
    failing.files[kSettingsPath] = SettingsFile();
    failing.replaceFails = !readOnly;
    failing.folderReadOnly = readOnly;
    CMainFrame closing(failing, nullptr);
    ASSERT_TRUE(closing.Create("Tarvik"));
    ChangeSettings(closing, [&](MailSettings& s) { s.m_strUser = "changed"; });
    failing.boxes.clear();
    failing.SendToFrame(win::kWmClose);
    EXPECT_TRUE(failing.boxes.empty()) << "nothing stands between the user and the end";
    EXPECT_TRUE(failing.quitPosted);
    EXPECT_FALSE(failing.trayIconShown);
    EXPECT_EQ(SettingsFile(), failing.files[kSettingsPath]);
    EXPECT_EQ(1u, failing.files.size()) << "no temporary file is left";
  }
}

TEST_F(MainFrameTest, ARunningCopyChecksOrEndsAsALaterStartAsks) {
  Start();
  platform.SendToFrame(FakeCopies::kMessage, static_cast<uintptr_t>(CopyRequest::kCheck));
  EXPECT_TRUE(frame.IsChecking());
  platform.SendToFrame(FakeCopies::kMessage, static_cast<uintptr_t>(CopyRequest::kCheck));
  FinishCheck(platform, frame);
  EXPECT_EQ(2, server.sessions) << "a request during a check is skipped";

  ChangeSettings(frame, [&](MailSettings& s) { s.m_strUser = "bob"; });
  platform.dialogScripts.push_back([this](FakeDialog&) {
    platform.SendToFrame(FakeCopies::kMessage, static_cast<uintptr_t>(CopyRequest::kExit));
  });
  platform.SendToFrame(win::kWmCommand, ID_SERVER_OPTIONS);
  EXPECT_TRUE(platform.quitPosted);
  EXPECT_FALSE(platform.trayIconShown);
  EXPECT_NE(std::string::npos, platform.files[kSettingsPath].find("\r\nbob\r\n"))
      << "saved as Exit does";
  EXPECT_EQ(1u, platform.EventsStartingWith("cancel open dialogs").size());
}

TEST_F(MainFrameTest, DestroyedWithoutClosingTheIconStillGoes) {
  Start();
  platform.DestroyWindow(frame.Handle());
  EXPECT_FALSE(platform.trayIconShown);
  EXPECT_TRUE(platform.quitPosted);
}

TEST_F(MainFrameTest, AnIconTheShellRefusedAtStartUpIsAddedByALaterTick) {
  platform.trayAddFailures = 2;
  Start();
  EXPECT_FALSE(platform.trayIconShown);
  Tick();
  EXPECT_FALSE(platform.trayIconShown);
  Tick();
  EXPECT_TRUE(platform.trayIconShown);
  ASSERT_FALSE(platform.EventsStartingWith("tray add").empty());
  EXPECT_EQ("tray add 132 No messages waiting", platform.EventsStartingWith("tray add").back())
      << "added with the picture and tip of the last check";
  Tick(10);
  EXPECT_EQ(3u, platform.EventsStartingWith("tray add").size());
}

TEST_F(MainFrameTest, RetryingTheIconStopsAfterAWhile) {
  platform.trayAvailable = false;
  Start();
  Tick(200);
  EXPECT_EQ(31u, platform.EventsStartingWith("tray add").size());
}

TEST_F(MainFrameTest, AReAddTheRestartedShellRefusesIsRetriedAndTheIconStillRemoved) {
  Start();
  platform.trayIconShown = false;
  platform.trayAddFailures = 2;
  platform.SendToFrame(FakeTray::kTaskbarCreated);
  EXPECT_FALSE(platform.trayIconShown);
  Tick();
  EXPECT_FALSE(platform.trayIconShown);
  Tick();
  EXPECT_TRUE(platform.trayIconShown) << "retried on the ticks as at start-up";

  platform.trayAddFailures = 1000;
  platform.SendToFrame(FakeTray::kTaskbarCreated);
  platform.events.clear();
  platform.DestroyWindow(frame.Handle());
  EXPECT_EQ(1u, platform.EventsStartingWith("tray delete").size())
      << "an icon the shell may still show is removed at the end";
}

TEST_F(MainFrameTest, ARestartedShellGetsTheIconBackAsItWas) {
  Answer("+OK 4 1\r\n");
  Start();
  platform.trayIconShown = false;
  platform.events.clear();
  platform.SendToFrame(FakeTray::kTaskbarCreated);
  EXPECT_EQ((Lines{"tray add 134 You have 4 messages waiting"}), platform.events);
  EXPECT_TRUE(platform.trayIconShown);
}

}  // namespace

namespace {

class AutorunTest : public MainFrameTest {
 protected:
  void Toggle() { platform.SendToFrame(win::kWmCommand, ID_AUTORUN); }
  bool Checked() { return platform.MenuItems().at(5).checked; }
  std::optional<std::string>& MachineValue() { return platform.machineRun.value; }
  std::optional<std::string>& UserValue() { return platform.userRun.value; }
};

TEST_F(AutorunTest, TogglingWritesAQuotedPathThenDeletesIt) {
  platform.modulePath = "C:\\Program Files\\Tarvik\\tarvik.exe";
  StartQuietly();
  Toggle();
  EXPECT_EQ("\"C:\\Program Files\\Tarvik\\tarvik.exe\" ", MachineValue().value_or(""));
  EXPECT_TRUE(Checked());
  EXPECT_EQ(1, frame.m_bAutorun);
  Toggle();
  EXPECT_FALSE(MachineValue());
  EXPECT_FALSE(Checked());
  EXPECT_EQ(0, frame.m_bAutorun);
  EXPECT_TRUE(platform.boxes.empty());
}

// Which Run keys this user may change decides where turning autorun on writes.
TEST_F(AutorunTest, OnWritesForEveryUserWhenAllowedElseForThisUserAlone) {
  struct Case {
    bool machineWritable, userWritable;
    const char* written;  // "HKLM", "HKCU", or nullptr when the item is not shown
  };
  for (const Case& c : {Case{true, true, "HKLM"}, Case{true, false, "HKLM"},
                        Case{false, true, "HKCU"}, Case{false, false, nullptr}}) {
    server.WaitUntilSessionsEnd();  // the last round's abandoned check
    FakePlatform fresh;
    fresh.transports = [this] { return server.NewSession(); };
    fresh.machineRun.writable = c.machineWritable;
    fresh.userRun.writable = c.userWritable;
    CMainFrame started(fresh, nullptr);
    ASSERT_TRUE(started.Create("Tarvik"));
    const std::vector<MenuItem> items = fresh.MenuItems();
    ASSERT_EQ(c.written ? 8u : 7u, items.size()) << c.machineWritable << c.userWritable;
    if (!c.written) continue;
    fresh.SendToFrame(win::kWmCommand, ID_AUTORUN);
    EXPECT_EQ((Lines{std::string("registry set ") + c.written +
                     " Nolvar-Tarvik=\"C:\\Tools\\tarvik.exe\" "}),
              fresh.EventsStartingWith("registry"));
    EXPECT_TRUE(fresh.MenuItems().at(5).checked);
    EXPECT_TRUE(fresh.boxes.empty());
  }
}

TEST_F(AutorunTest, AValueInEitherKeyChecksTheItemAndOffRemovesItFromBoth) {
  for (const bool inMachine : {false, true})
    for (const bool inUser : {false, true}) {
      if (!inMachine && !inUser) continue;
      server.WaitUntilSessionsEnd();  // the last round's abandoned check
      FakePlatform fresh;
      fresh.transports = [this] { return server.NewSession(); };
      if (inMachine) fresh.machineRun.value = "x";
      if (inUser) fresh.userRun.value = "y";
      CMainFrame started(fresh, nullptr);
      ASSERT_TRUE(started.Create("Tarvik"));
      EXPECT_TRUE(fresh.MenuItems().at(5).checked) << inMachine << inUser;
      fresh.SendToFrame(win::kWmCommand, ID_AUTORUN);
      EXPECT_TRUE(!fresh.machineRun.value && !fresh.userRun.value);
      EXPECT_FALSE(fresh.MenuItems().at(5).checked);
      EXPECT_EQ(0, started.m_bAutorun);
      EXPECT_TRUE(fresh.boxes.empty());
    }
}

TEST_F(AutorunTest, AMachineWideValueOnlyAnAdministratorMayRemoveStaysCheckedAndIsSaid) {
  platform.machineRun.writable = false;
  MachineValue() = "x";
  UserValue() = "y";
  StartQuietly();
  ASSERT_TRUE(Checked());
  Toggle();
  EXPECT_TRUE(Checked());
  EXPECT_EQ(1, frame.m_bAutorun);
  EXPECT_TRUE(MachineValue());
  EXPECT_FALSE(UserValue()) << "the user's own value goes all the same";
  ASSERT_EQ(1u, platform.boxes.size());
  EXPECT_EQ(
      "Autorun at boot is set up for every user of this computer.\n"
      "Only an administrator can turn it off.",
      platform.boxes[0].text);
  EXPECT_EQ("Tarvik", platform.boxes[0].caption);
}

TEST_F(AutorunTest, AValueRemovedBehindTheProgramsBackStillUnchecks) {
  MachineValue() = "\"C:\\Tools\\tarvik.exe\" ";
  StartQuietly();
  MachineValue().reset();
  Toggle();
  EXPECT_FALSE(Checked());
  EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(AutorunTest, AFailedWriteIsToldAndNothingFlips) {
  // Where the value is at the start: nowhere, for every user, for this user.
  for (const int where : {0, 1, 2}) {
    const bool checkedAtStart = where != 0;
    FakePlatform refusing;
    refusing.transports = [this] { return server.NewSession(); };
    if (checkedAtStart)
      (where == 1 ? refusing.machineRun : refusing.userRun).value = "x";
    CMainFrame refused(refusing, nullptr);
    ASSERT_TRUE(refused.Create("Tarvik"));
    FinishCheck(refusing, refused);
    refusing.registryWritesFail = true;
    refusing.SendToFrame(win::kWmCommand, ID_AUTORUN);
    EXPECT_EQ(checkedAtStart, refusing.MenuItems().at(5).checked);
    EXPECT_EQ(checkedAtStart ? 1 : 0, refused.m_bAutorun);
    EXPECT_EQ(checkedAtStart ? 1u : 0u,
              refusing.machineRun.value.has_value() + refusing.userRun.value.has_value());
    ASSERT_EQ(1u, refusing.boxes.size());
    EXPECT_EQ("Autorun at boot could not be changed.", refusing.boxes[0].text);
    EXPECT_EQ("Tarvik", refusing.boxes[0].caption);
  }
}

TEST_F(AutorunTest, KeysThatCanNoLongerBeWrittenAreToldAndNothingFlips) {
  StartQuietly();
  platform.machineRun.writable = platform.userRun.writable = false;
  Toggle();
  EXPECT_FALSE(Checked());
  EXPECT_EQ(0, frame.m_bAutorun);
  EXPECT_TRUE(platform.EventsStartingWith("registry").empty());
  ASSERT_EQ(1u, platform.boxes.size());
}

}  // namespace

namespace {

// The check runs on its own thread against a server whose every waiting step
// stops until the test lets it through: the test is the user-interface thread.
class BesideTheUserInterfaceTest : public ::testing::Test {
 protected:
  BesideTheUserInterfaceTest() {
    platform.files[kSettingsPath] = SettingsFile();
    platform.transports = [this] { return gated.NewSession(); };
  }
  ~BesideTheUserInterfaceTest() override {
    if (frame.Handle()) platform.DestroyWindow(frame.Handle());
    gated.WaitUntilSessionsEnd();
  }

  // Waits for the index-th step, then lets it go on; the count box is shown
  // on the way to QUIT.
  void PassStep(size_t index) {
    ASSERT_EQ(kSteps[index], gated.WaitForStep());
    gated.Release();
    if (index + 1 < kSteps.size() && kSteps[index + 1] == "send QUIT") platform.DeliverPosted();
  }
  // Closes the program while the check waits somewhere: it ends at once,
  // saved, its icon gone; once the abandoned check has ended too, nothing
  // more reached the frame and nothing more was sent.
  void CloseAndExpectNoTrace(bool viaMenu) {
    platform.SendToFrame(viaMenu ? win::kWmCommand : win::kWmClose, viaMenu ? ID_TRAY_EXIT : 0);
    EXPECT_TRUE(platform.quitPosted);
    EXPECT_FALSE(platform.trayIconShown);
    EXPECT_EQ(1u, platform.EventsStartingWith("save").size()) << "settings written";
    const Lines atClose = platform.events;
    gated.WaitUntilSessionsEnd();
    EXPECT_TRUE(gated.Aborted());
    EXPECT_EQ(atClose, platform.events);
    WaitUntilTheCheckThreadEnds();
    EXPECT_EQ(0u, platform.PostedCount());
    EXPECT_EQ(0, std::count(gated.script.transcript.begin(), gated.script.transcript.end(), "QUIT"));
  }

  // The check's thread is detached and may still post after its session has
  // ended; it has truly finished once the process is back to its threads
  // from before the check.
  void WaitUntilTheCheckThreadEnds() {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (ThreadCount() > m_nThreadsBefore && std::chrono::steady_clock::now() < giveUp)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_LE(ThreadCount(), m_nThreadsBefore);
  }
  static size_t ThreadCount() {
    const std::filesystem::directory_iterator tasks("/proc/self/task");
    return static_cast<size_t>(std::distance(begin(tasks), end(tasks)));
  }

  const size_t m_nThreadsBefore = ThreadCount();
  const Lines kSteps = {"resolve",      "connect", "receive",      "send USER alice",
                        "receive",      "send PASS secret",         "receive",
                        "send STAT",    "receive", "send UIDL",    "receive",
                        "send TOP 3 0", "receive", "send TOP 2 0", "receive",
                        "send TOP 1 0", "receive", "send QUIT"};
  FakePlatform platform;
  GatedServer gated{MemoryServer::Standard("+OK 3 320\r\n")};
  CMainFrame frame{platform, nullptr};
};

TEST_F(BesideTheUserInterfaceTest, TheUserInterfaceAnswersDuringEveryStep) {
  ASSERT_TRUE(frame.Create("Tarvik"));
  Lines sentWhileBoxOpen;
  platform.whileMessageBox = [&](const MessageBoxCall&) {
    sentWhileBoxOpen = gated.script.transcript;
  };
  for (size_t i = 0; i < kSteps.size(); ++i) {
    ASSERT_EQ(kSteps[i], gated.WaitForStep());
    platform.events.clear();
    platform.SendToFrame(WM_TRAY_NOTIFY, 2000, win::kWmRButtonDown);
    platform.SendToFrame(WM_TRAY_NOTIFY, 2000, win::kWmLButtonDblClk);
    platform.SendToFrame(win::kWmPowerBroadcast, win::kPbtApmResumeAutomatic);
    platform.SendToFrame(platform.systemEvents->networkMessage);
    platform.Tick(3);
    EXPECT_EQ((Lines{"foreground", "menu"}), platform.events) << kSteps[i];
    EXPECT_EQ(1, gated.script.sessions) << "no second check on top: " << kSteps[i];
    PassStep(i);
  }
  FinishCheck(platform, frame);
  EXPECT_EQ((Lines{"USER alice", "PASS secret", "STAT", "UIDL", "TOP 3 0", "TOP 2 0", "TOP 1 0"}),
            sentWhileBoxOpen);
  ASSERT_FALSE(gated.script.transcript.empty());
  EXPECT_EQ("QUIT", gated.script.transcript.back());
  EXPECT_EQ("You have 3 messages waiting", std::string(frame.Icon().tip));
  EXPECT_EQ(static_cast<int>(kSteps.size() * 3 / 6 % 5), frame.Monitor(0).m_nMinutes)
      << "the check due after 30 ticks was skipped, the count went on";
  EXPECT_EQ(0, frame.Monitor(0).m_nTicks);
  platform.Tick(30);
  EXPECT_EQ(2, gated.script.sessions);
}

class ExitDuringAStepTest : public BesideTheUserInterfaceTest,
                            public ::testing::WithParamInterface<size_t> {};

TEST_P(ExitDuringAStepTest, EndsAtOnceAndTheCheckNeverComesBack) {
  ASSERT_TRUE(frame.Create("Tarvik"));
  for (size_t i = 0; i < GetParam(); ++i) PassStep(i);
  ASSERT_EQ(kSteps[GetParam()], gated.WaitForStep());
  CloseAndExpectNoTrace(GetParam() % 2 == 1);
}

INSTANTIATE_TEST_SUITE_P(EachStep, ExitDuringAStepTest, ::testing::Range<size_t>(0, 18));

TEST_F(BesideTheUserInterfaceTest, ExitWhileTheCountBoxIsOpenEndsWithoutQuit) {
  ASSERT_TRUE(frame.Create("Tarvik"));
  platform.whileMessageBox = [this](const MessageBoxCall&) { CloseAndExpectNoTrace(false); };
  for (size_t i = 0; i + 1 < kSteps.size(); ++i) PassStep(i);
  EXPECT_EQ(1u, platform.boxes.size());
  EXPECT_TRUE(platform.EventsStartingWith("tray modify").empty())
      << "the icon was not touched after the box";
}

// The check's thread shares what it touches: after Exit, with the frame and
// the whole platform gone, a header still being decoded (and the log it
// writes to) are there for it until it ends. The address sanitizer watches.
TEST_F(BesideTheUserInterfaceTest, ExitDuringADecodeLeavesTheThreadNothingFreed) {
  struct HeldDecoder : CharsetDecoder {
    bool DecodeToUtf8(const std::string&, const std::string&, std::string&) const override {
      entered.set_value();
      release.wait();
      return false;
    }
    mutable std::promise<void> entered;
    std::shared_future<void> release;
  };
  std::promise<void> release;
  const auto decoder = std::make_shared<HeldDecoder>();
  decoder->release = release.get_future().share();
  MemoryServer server;
  server.Reply(0, "+OK\r\n").Reply(1, "+OK\r\n").Reply(2, "+OK\r\n").Reply(3, "+OK 1 9\r\n")
      .Reply(4, "-ERR\r\n").Reply(5, "+OK\r\nSubject: =?x-held?Q?a?=\r\n\r\n.\r\n");
  {
    auto owned = std::make_unique<FakePlatform>();
    owned->files[kSettingsPath] = SettingsFile() + "WriteLog=TRUE\r\n";
    owned->transports = [&server] { return server.NewSession(); };
    owned->UseCharsets(decoder);
    auto exiting = std::make_unique<CMainFrame>(*owned, nullptr);
    ASSERT_TRUE(exiting->Create("Tarvik"));
    decoder->entered.get_future().wait();
    owned->SendToFrame(win::kWmCommand, ID_TRAY_EXIT);
    EXPECT_TRUE(owned->quitPosted);
  }
  release.set_value();
  server.WaitUntilSessionsEnd();
  WaitUntilTheCheckThreadEnds();
}

TEST_F(BesideTheUserInterfaceTest, LogOffIsAnsweredAtOnceAndSavesDuringACheck) {
  ASSERT_TRUE(frame.Create("Tarvik"));
  ASSERT_EQ("resolve", gated.WaitForStep());
  EXPECT_EQ(1, platform.SendToFrame(win::kWmQueryEndSession));
  platform.SendToFrame(win::kWmEndSession, 0);
  EXPECT_TRUE(platform.trayIconShown) << "a log-off that was cancelled changes nothing";
  EXPECT_TRUE(platform.EventsStartingWith("write").empty());
  platform.SendToFrame(win::kWmEndSession, 1);
  EXPECT_FALSE(platform.trayIconShown);
  EXPECT_EQ(1u, platform.EventsStartingWith("save").size());
  gated.WaitUntilSessionsEnd();
  EXPECT_TRUE(gated.Aborted());
  WaitUntilTheCheckThreadEnds();
  EXPECT_EQ(0u, platform.PostedCount());
}

}  // namespace

namespace {

TEST_F(MainFrameTest, TheLogInFormThatWorkedIsUsedFromTheNextCheckAndSaved) {
  std::string file = SettingsFile();
  platform.files[kSettingsPath] = file.replace(file.find("secret"), 6, "s\xC3\xA9");
  server = MemoryServer();
  server.Reply(0, "+OK\r\n").Reply(1, "+OK\r\n").Reply(2, "-ERR\r\n").Reply(3, "+OK\r\n");
  server.Reply(4, "+OK\r\n").Reply(5, "+OK 0 0\r\n").Reply(6, "-ERR\r\n");
  Start();
  DoubleClick();
  const auto sent = [this](const char* line) {
    return std::count(server.transcript.begin(), server.transcript.end(), line);
  };
  EXPECT_EQ(1, sent("PASS s\xC3\xA9")) << "the UTF-8 form, refused once, is not tried again";
  EXPECT_EQ(2, sent("PASS s\xE9"));
  platform.SendToFrame(win::kWmClose);
  EXPECT_NE(std::string::npos, platform.files[kSettingsPath].find("\r\nLoginForm=ANSI\r\n"));
}

TEST_F(MainFrameTest, ASwitchedOnLogHoldsOneLinePerEventAndNeverThePassword) {
  platform.files[kSettingsPath] = SettingsFile() + "WriteLog=TRUE\r\n";
  platform.files["err.wav"] = "RIFF";
  Start();
  server.failingStep = "connect";
  platform.SendToFrame(win::kWmPowerBroadcast, win::kPbtApmResumeAutomatic);
  Tick();
  platform.SendToFrame(win::kWmClose);
  const std::string log = platform.files["C:\\Tools\\tarvik.log"];
  EXPECT_EQ(0u,
            log.find("2026-12-07 15:04:49 program starts\r\n2026-12-07 15:04:49 check starts\r\n"
                     "2026-12-07 15:04:49 server pop.example.com port 110\r\n"));
  for (const char* line :
       {"tried pop.example.com\r", "> USER alice\r", "> PASS ***\r", "> STAT\r", "< +OK 0 0\r", "> QUIT\r",
        "outcome: mailbox count 0\r", "resume from sleep\r", "check ends: failed at step 4 after",
        "retry in 30 s\r", "sound not played, not a RIFF WAVE file: err.wav\r",
        "program ends\r"})
    EXPECT_NE(std::string::npos, log.find(std::string(" ") + line)) << line;
  EXPECT_EQ(std::string::npos, log.find("secret"));
}

}  // namespace
