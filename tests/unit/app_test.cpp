#include <gtest/gtest.h>

#include "app/tarvik_app.h"
#include "platform/ui/dialog.h"
#include "platform/win_constants.h"
#include "res/resource.h"
#include "tests/double/check_driver.h"
#include "tests/double/fake_platform.h"
#include "tests/double/memory_transport.h"

namespace {

using Lines = std::vector<std::string>;

class AppTest : public ::testing::Test {
 protected:
  AppTest() {
    server = MemoryServer::Standard("+OK 2 20\r\n");
    platform.transports = [this] { return server.NewSession(); };
    platform.files["C:\\Tools\\tarvik.ini"] =
        "pop.example."
        "com\r\nalice\r\nsecret\r\n5\r\nFALSE\r\n\r\nFALSE\r\n\r\nFALSE\r\n\r\nFALSE\r\n";
  }

  ~AppTest() override { server.WaitUntilSessionsEnd(); }

  // Starts the program and lets its first check end.
  void Start() {
    ASSERT_TRUE(app.InitInstance());
    FinishCheck(platform, *app.MainFrame());
  }

  FakePlatform platform;
  MemoryServer server;
  CTarvikApp app{platform};
};

TEST_F(AppTest, StartsTheAgentInsideTheHiddenFrameThenHidesIt) {
  ASSERT_TRUE(app.InitInstance());
  EXPECT_TRUE(app.MainFrame()->IsChecking()) << "the first check runs beside start-up";
  FinishCheck(platform, *app.MainFrame());
  const Lines expected = {"create frame Tarvik", "tray add 135 Not connected",
                          "timer 1 10000",       "hide frame",
                          "foreground",          "tray modify 134 You have 2 messages waiting"};
  EXPECT_EQ(expected, platform.events);
  EXPECT_FALSE(platform.frameVisible);
}

TEST_F(AppTest, WithoutSocketsThereIsOneBoxAndNothingElse) {
  platform.socketsStart = false;
  EXPECT_FALSE(app.InitInstance());
  ASSERT_EQ(1u, platform.boxes.size());
  EXPECT_EQ("Windows sockets initialization failed.", platform.boxes[0].text);
  EXPECT_EQ("Tarvik", platform.boxes[0].caption);
  EXPECT_EQ(BoxKind::kPlain, platform.boxes[0].kind);
  EXPECT_EQ(Lines{"box Tarvik|Windows sockets initialization failed."}, platform.events);
  EXPECT_EQ(0, server.sessions) << "the settings are not even read";
}

TEST_F(AppTest, AFrameThatCannotBeCreatedEndsStartUpSilently) {
  platform.frameCreationFails = true;
  EXPECT_FALSE(app.InitInstance());
  EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(AppTest, AFileThatCannotBeOpenedIsReportedAndEndsStartUp) {
  platform.arguments = {"C:\\missing.txt"};
  EXPECT_FALSE(app.InitInstance());
  ASSERT_EQ(1u, platform.boxes.size());
  EXPECT_EQ("Cannot open the file \"C:\\missing.txt\".", platform.boxes[0].text);
  EXPECT_EQ("Tarvik", platform.boxes[0].caption);
  EXPECT_EQ(1, server.sessions) << "the first check ran before the command line";
  EXPECT_FALSE(platform.trayIconShown) << "no icon is left behind";
  EXPECT_TRUE(platform.EventsStartingWith("write").empty()) << "the settings are not saved";
  EXPECT_EQ(nullptr, app.MainFrame()->Handle());
}

TEST_F(AppTest, AReadableFileOrSwitchesChangeNothing) {
  platform.files["C:\\notes.txt"] = "anything";
  platform.arguments = {"/p", "-x", "C:\\notes.txt", "C:\\missing.txt"};
  Start();
  EXPECT_TRUE(platform.boxes.empty());
  EXPECT_FALSE(platform.frameVisible);
  EXPECT_TRUE(platform.trayIconShown);
}

TEST_F(AppTest, TheMessageLoopRunsUntilTheFrameIsClosed) {
  Start();
  platform.messageLoop = [&] { platform.SendToFrame(win::kWmClose); };
  EXPECT_EQ(0, app.Run());
  EXPECT_TRUE(platform.quitPosted);
  EXPECT_FALSE(platform.trayIconShown);
}

TEST_F(AppTest, BothAboutCommandsShowTheAboutBoxAndChangeNothing) {
  Start();
  platform.events.clear();
  platform.SendToFrame(win::kWmCommand, ID_APP_ABOUT);
  platform.SendToFrame(win::kWmCommand, ID_TRAY_ABOUT);
  platform.dialogScripts.push_back([](FakeDialog& about) { about.Click(kIdOk); });
  app.OnAppAbout();
  EXPECT_EQ((std::vector<int>{IDD_ABOUTBOX, IDD_ABOUTBOX, IDD_ABOUTBOX}), platform.dialogsRun);
  EXPECT_EQ((Lines{"dialog 100", "dialog 100", "dialog 100"}), platform.events);
  EXPECT_EQ(1, server.sessions);
}

TEST_F(AppTest, ALaterStartHandsItsRequestToTheRunningCopyAndEndsWithoutAFrame) {
  const struct {
    Lines arguments;
    bool running;
    Lines forwarded;
  } cases[] = {
      {{}, true, {"check C:\\Tools\\tarvik.ini"}},
      {{"/check"}, true, {"check C:\\Tools\\tarvik.ini"}},
      {{"/EXIT"}, true, {"exit C:\\Tools\\tarvik.ini"}},
      {{"-exit", "/Check"}, true, {"check C:\\Tools\\tarvik.ini"}},
      {{"-Exit"}, true, {"exit C:\\Tools\\tarvik.ini"}},
      {{"/exit", "-check"}, true, {"check C:\\Tools\\tarvik.ini"}},
      {{"/exit"}, false, {}},
  };
  for (const auto& c : cases) {
    FakePlatform later;
    later.arguments = c.arguments;
    later.copies->heldElsewhere = c.running;
    CTarvikApp second(later);
    EXPECT_FALSE(second.InitInstance());
    EXPECT_EQ(c.forwarded, later.copies->forwarded);
    EXPECT_EQ(0, second.StartUpExitCode());
    EXPECT_TRUE(later.events.empty()) << "no frame, no icon, no check";
  }
  platform.arguments = {"/check"};
  Start();
  EXPECT_EQ("C:\\Tools\\tarvik.ini", platform.copies->claimed) << "with none running it runs";
}

TEST_F(AppTest, UnknownCommandsAreIgnored) {
  Start();
  platform.events.clear();
  platform.SendToFrame(win::kWmCommand, ID_FILE_PRINT_SETUP);
  platform.SendToFrame(win::kWmCommand, 12345);
  EXPECT_TRUE(platform.events.empty());
}

}  // namespace
