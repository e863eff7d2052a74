#include <gtest/gtest.h>

#include "monitor/login_account.h"
#include "agent/mail_opener.h"
#include "agent/main_frame.h"
#include "dialogs/server_options_dlg.h"
#include "dialogs/sound_options_dlg.h"
#include "platform/ui/dialog.h"
#include "settings/settings_keys.h"
#include "platform/win_constants.h"
#include "res/resource.h"
#include "tests/double/check_driver.h"
#include "tests/double/fake_platform.h"
#include "tests/double/memory_transport.h"

namespace {

using Script = std::function<void(FakeDialog&)>;

// Runs a server options dialog opened with these values through a script.
struct ServerDialog {
  ServerDialog(int interval, const Script& script) {
    dialog.m_strServer = "pop.example.com";
    dialog.m_strUser = "alice";
    dialog.m_strPassword = "secret";
    dialog.m_nInterval = interval;
    platform.dialogScripts.push_back(script);
    result = dialog.DoModal();
  }
  FakePlatform platform;
  CServerOptionsDlg dialog{platform, MicrosoftSetupFrom("id-1", "", "")};
  int result;
};

void Press(FakeDialog& open, int controlId, int times) {
  for (int i = 0; i < times; ++i) open.Click(controlId);
}

TEST(ServerOptionsDialog, OpensShowingTheValuesAndStepsTheIntervalByOne) {
  std::vector<std::string> shown;
  ServerDialog opened(15, [&](FakeDialog& open) {
    shown = {open.Text(IDC_SERVER), open.Text(IDC_USERNAME), open.Text(IDC_PASSWORD),
             open.Text(IDC_INTERVAL)};
    Press(open, IDC_INTERVAL_UP, 3);
    shown.push_back(open.Text(IDC_INTERVAL));
    open.Click(kIdCancel);
  });
  EXPECT_EQ((std::vector<std::string>{"pop.example.com", "alice", "secret", "15", "18"}), shown);
  EXPECT_EQ(kIdCancel, opened.result);
  EXPECT_EQ(IDD_SERVER_OPTIONS, opened.platform.dialogsRun.at(0));
}

TEST(ServerOptionsDialog, TheButtonsNeverCarryTheIntervalOutOfFiveToOneHundredTwenty) {
  const struct {
    int start, ups, downs, expected;
  } cases[] = {{120, 1, 0, 120}, {5, 0, 1, 5}, {119, 2, 0, 120}, {6, 0, 3, 5},
               {200, 1, 0, 200}, {200, 0, 1, 199}, {0, 0, 1, 0},    {0, 1, 0, 1}};
  for (const auto& c : cases) {
    ServerDialog opened(c.start, [&](FakeDialog& open) {
      Press(open, IDC_INTERVAL_UP, c.ups);
      Press(open, IDC_INTERVAL_DOWN, c.downs);
      open.Click(kIdOk);
    });
    EXPECT_EQ(kIdOk, opened.result);
    EXPECT_EQ(c.expected, opened.dialog.m_nInterval) << c.start;
  }
}

TEST(ServerOptionsDialog, TypedTextSurvivesTheButtonsAndIsReturnedAsTyped) {
  ServerDialog opened(10, [](FakeDialog& open) {
    open.Type(IDC_SERVER, " mail.example.org ");
    open.Type(IDC_PASSWORD, "p a s s");
    open.Click(IDC_INTERVAL_UP);
    EXPECT_EQ(" mail.example.org ", open.Text(IDC_SERVER));
    open.Type(IDC_USERNAME, "");
    open.Click(IDC_INTERVAL_DOWN);
    open.Click(IDC_INTERVAL_DOWN);
    open.Click(kIdOk);
  });
  EXPECT_EQ(" mail.example.org ", opened.dialog.m_strServer);
  EXPECT_EQ("", opened.dialog.m_strUser);
  EXPECT_EQ("p a s s", opened.dialog.m_strPassword);
  EXPECT_EQ(9, opened.dialog.m_nInterval);
}

TEST(ServerOptionsDialog, CloseBoxAndMinimizeBoxAcceptEscCancels) {
  const std::pair<const char*, Script> endings[] = {
      {"close box", [](FakeDialog& open) { open.Close(); }},
      {"minimize box", [](FakeDialog& open) { open.SysCommand(win::kScMinimize); }},
      {"minimize from the keyboard", [](FakeDialog& open) { open.SysCommand(win::kScMinimize | 2); }},
      {"OK", [](FakeDialog& open) { open.Click(kIdOk); }},
  };
  for (const auto& [how, end] : endings) {
    bool hidden = false;
    ServerDialog opened(30, [&](FakeDialog& open) {
      open.Type(IDC_SERVER, "edited");
      open.Click(IDC_INTERVAL_UP);
      end(open);
      hidden = !open.visible;
    });
    EXPECT_EQ(kIdOk, opened.result) << how;
    EXPECT_EQ("edited", opened.dialog.m_strServer) << how;
    EXPECT_EQ(31, opened.dialog.m_nInterval) << how;
    EXPECT_TRUE(hidden) << how << ": hidden at once";
  }
  ServerDialog escaped(30, [](FakeDialog& open) { open.Click(kIdCancel); });
  EXPECT_EQ(kIdCancel, escaped.result);
}

TEST(ServerOptionsDialog, OtherSystemCommandsGetTheDefaultProcessing) {
  ServerDialog opened(30, [](FakeDialog& open) {
    EXPECT_EQ(0, open.Send(win::kWmSysCommand, 0xF060));
    EXPECT_FALSE(open.ended);
    open.Click(kIdCancel);
  });
  EXPECT_EQ(kIdCancel, opened.result);
}

TEST(ServerOptionsDialog, MinimisedItPaintsAndDragsTheProgramIcon) {
  ServerDialog opened(30, [](FakeDialog& open) {
    EXPECT_EQ(0, open.Send(win::kWmPaint)) << "not minimised: default painting";
    open.iconic = true;
    EXPECT_NE(0, open.Send(win::kWmPaint));
    EXPECT_EQ(IDR_MAINFRAME, open.Send(win::kWmQueryDragIcon));
    open.Click(kIdCancel);
  });
  EXPECT_EQ(std::vector<std::string>{"paint icon 128"},
            opened.platform.EventsStartingWith("paint"));
}

// Runs a sound options dialog opened with these values through a script.
struct SoundDialog {
  explicit SoundDialog(const Script& script) {
    dialog.m_strNewMailWav = "C:\\new.wav";
    dialog.m_bNoMailSound = 1;
    dialog.m_strNoMailWav = "C:\\none.wav";
    dialog.m_bErrorSound = 0;
    dialog.m_strErrorWav = "";
    dialog.m_bShowCount = 1;
    platform.dialogScripts.push_back(script);
    result = dialog.DoModal();
  }
  FakePlatform platform;
  CSoundOptionsDlg dialog{platform};
  int result;
};

TEST(SoundOptionsDialog, OpensShowingTheValuesAndAcceptsOnEnter) {
  SoundDialog opened([](FakeDialog& open) {
    EXPECT_EQ("C:\\new.wav", open.Text(IDC_NEWMAIL_WAV));
    EXPECT_FALSE(open.Checked(IDC_NEWMAIL_SOUND));
    EXPECT_TRUE(open.Checked(IDC_NOMAIL_SOUND));
    EXPECT_EQ("C:\\none.wav", open.Text(IDC_NOMAIL_WAV));
    EXPECT_FALSE(open.Checked(IDC_ERROR_SOUND));
    EXPECT_TRUE(open.Checked(IDC_SHOW_COUNT));
    open.Click(kIdOk);
  });
  EXPECT_EQ(kIdOk, opened.result);
  EXPECT_EQ(IDD_SOUND_OPTIONS, opened.platform.dialogsRun.at(0));
}

TEST(SoundOptionsDialog, AChosenFileFillsItsRowAndSwitchesItsSoundOn) {
  SoundDialog opened([](FakeDialog& open) {
    open.platform.fileChoices.push_back(std::string("C:\\Media\\ding.wav"));
    open.Click(IDC_NEWMAIL_BROWSE);
    EXPECT_EQ("C:\\Media\\ding.wav", open.Text(IDC_NEWMAIL_WAV));
    EXPECT_TRUE(open.Checked(IDC_NEWMAIL_SOUND));
    open.Click(kIdOk);
  });
  EXPECT_EQ("C:\\Media\\ding.wav", opened.dialog.m_strNewMailWav);
  EXPECT_EQ(1, opened.dialog.m_bNewMailSound);
  EXPECT_EQ("C:\\none.wav", opened.dialog.m_strNoMailWav) << "other rows stay";
  EXPECT_EQ("", opened.dialog.m_strErrorWav);
  EXPECT_EQ(std::vector<std::string>{"WAV Files (*.wav)|*.wav|| wav"},
            opened.platform.fileDialogFilters);
}

TEST(SoundOptionsDialog, EachBrowseButtonFillsOnlyItsOwnRow) {
  struct Row {
    int button, path, check;
  };
  const Row rows[] = {{IDC_NEWMAIL_BROWSE, IDC_NEWMAIL_WAV, IDC_NEWMAIL_SOUND},
                      {IDC_NOMAIL_BROWSE, IDC_NOMAIL_WAV, IDC_NOMAIL_SOUND},
                      {IDC_ERROR_BROWSE, IDC_ERROR_WAV, IDC_ERROR_SOUND}};
  for (const Row& chosen : rows) {
    SoundDialog opened([&](FakeDialog& open) {
      for (const Row& row : rows) open.Tick(row.check, false);
      open.platform.fileChoices.push_back(std::string("C:\\x.wav"));
      open.Click(chosen.button);
      for (const Row& row : rows) {
        const bool mine = row.button == chosen.button;
        EXPECT_EQ(mine, open.Text(row.path) == "C:\\x.wav") << chosen.button;
        EXPECT_EQ(mine, open.Checked(row.check)) << chosen.button;
      }
      open.Click(kIdOk);
    });
  }
}

TEST(SoundOptionsDialog, ACancelledFileDialogKeepsWhatWasTypedAndTicked) {
  SoundDialog opened([](FakeDialog& open) {
    open.Type(IDC_ERROR_WAV, "C:\\typed.wav");
    open.Tick(IDC_NOMAIL_SOUND, false);
    open.platform.fileChoices.push_back(std::nullopt);
    open.Click(IDC_ERROR_BROWSE);
    EXPECT_EQ("C:\\typed.wav", open.Text(IDC_ERROR_WAV));
    EXPECT_FALSE(open.Checked(IDC_ERROR_SOUND)) << "typing a path does not switch it on";
    open.Click(kIdOk);
  });
  EXPECT_EQ("C:\\typed.wav", opened.dialog.m_strErrorWav);
  EXPECT_EQ(0, opened.dialog.m_bErrorSound);
  EXPECT_EQ(0, opened.dialog.m_bNoMailSound);
  EXPECT_EQ("C:\\none.wav", opened.dialog.m_strNoMailWav) << "unticking keeps the path";
}

TEST(SoundOptionsDialog, ASwitchOnWithAnEmptyPathIsAccepted) {
  SoundDialog opened([](FakeDialog& open) {
    open.Tick(IDC_ERROR_SOUND, true);
    open.Click(kIdOk);
  });
  EXPECT_EQ(1, opened.dialog.m_bErrorSound);
  EXPECT_EQ("", opened.dialog.m_strErrorWav);
}

TEST(SoundOptionsDialog, TheCloseBoxCancels) {
  SoundDialog opened([](FakeDialog& open) {
    open.Type(IDC_NEWMAIL_WAV, "C:\\other.wav");
    open.Close();
  });
  EXPECT_EQ(kIdCancel, opened.result);
}

class OptionsCommandTest : public ::testing::Test {
 protected:
  OptionsCommandTest() {
    server = MemoryServer::Standard("+OK 0 0\r\n");
    platform.transports = [this] { return server.NewSession(); };
    platform.files[kPath] = kFile;
    EXPECT_TRUE(frame.Create("Tarvik"));
    FinishCheck(platform, frame);
    platform.events.clear();
  }
  ~OptionsCommandTest() override { server.WaitUntilSessionsEnd(); }
  void Command(unsigned command, const Script& script) {
    platform.dialogScripts.push_back(script);
    platform.SendToFrame(win::kWmCommand, command);
  }

  static constexpr char kPath[] = "C:\\Tools\\tarvik.ini";
  static constexpr char kFile[] =
      "pop.example.com\r\nalice\r\nsecret\r\n15\r\nFALSE\r\nC:\\new.wav\r\nTRUE\r\n\r\n"
      "FALSE\r\n\r\nTRUE\r\n";
  static constexpr char kStoredFile[] =
      "pop.example.com\r\nalice\r\n\r\n15\r\nFALSE\r\nC:\\new.wav\r\nTRUE\r\n\r\n"
      "FALSE\r\n\r\nTRUE\r\n";
  FakePlatform platform;
  MemoryServer server;
  CMainFrame frame{platform, nullptr};
};

TEST_F(OptionsCommandTest, ServerOptionsOkCopiesBackAndSavesTheWholeFile) {
  Command(ID_SERVER_OPTIONS, [](FakeDialog& open) {
    open.Type(IDC_SERVER, "mail.example.org");
    Press(open, IDC_INTERVAL_UP, 3);
    open.Click(kIdOk);
  });
  EXPECT_EQ("mail.example.org", frame.Settings().m_strServer);
  EXPECT_EQ(18, frame.Settings().m_nInterval);
  EXPECT_EQ(
      "mail.example.org\r\nalice\r\n\r\n18\r\nFALSE\r\nC:\\new.wav\r\nTRUE\r\n\r\n"
      "FALSE\r\n\r\nTRUE\r\n",
      platform.files[kPath])
      << "the password of line 3 moved into the password store";
  using Store = std::map<std::string, std::string>;
  EXPECT_EQ((Store{{"Tarvik:alice@mail.example.org", "secret"}}), platform.credentials);

  ChangeSettings(frame, [](MailSettings& s) { s.first.loginForm = LoginForm::kAnsi; });
  Command(ID_SERVER_OPTIONS, [](FakeDialog& open) {
    open.Type(IDC_USERNAME, "bob");
    open.Click(kIdOk);
  });
  EXPECT_EQ((Store{{"Tarvik:bob@mail.example.org", "secret"}}), platform.credentials)
      << "the password moved with the account";
  EXPECT_EQ(LoginForm::kUnknown, frame.Settings().first.loginForm)
      << "and its log-in form is learnt again";
  EXPECT_EQ("secret", frame.Settings().m_strPassword);

  ChangeSettings(frame, [](MailSettings& s) { s.first.loginForm = LoginForm::kUtf8; });
  Command(ID_SERVER_OPTIONS, [](FakeDialog& open) {
    open.Type(IDC_PASSWORD, "s\xC3\xA9");
    open.Click(kIdOk);
  });
  EXPECT_EQ(LoginForm::kUnknown, frame.Settings().first.loginForm)
      << "a changed password alone forgets it too";
  EXPECT_TRUE(platform.EventsStartingWith("fit labels").empty()) << "the template's geometry";
  EXPECT_EQ("s\xE9", AccountToCheck(platform.Codec(), AllAccounts(frame.Settings())[0]).ansiPassword)
      << "offered when only the password's ANSI form differs";
}

TEST_F(OptionsCommandTest, CancelChangesNothingOkSavesEvenUnchanged) {
  platform.files[kPath] = "left alone";
  Command(ID_SERVER_OPTIONS, [](FakeDialog& open) {
    open.Type(IDC_SERVER, "mail.example.org");
    open.Click(kIdCancel);
  });
  Command(ID_SOUND_OPTIONS, [](FakeDialog& open) {
    open.Tick(IDC_SHOW_COUNT, false);
    open.Click(kIdCancel);
  });
  EXPECT_EQ("pop.example.com", frame.Settings().m_strServer);
  EXPECT_EQ(1, frame.Settings().m_bShowCount);
  EXPECT_EQ("left alone", platform.files[kPath]);
  Command(ID_SOUND_OPTIONS, [](FakeDialog& open) { open.Click(kIdOk); });
  EXPECT_EQ(kStoredFile, platform.files[kPath]);
}

TEST_F(OptionsCommandTest, SoundOptionsOkCopiesAllSevenBack) {
  Command(ID_SOUND_OPTIONS, [](FakeDialog& open) {
    open.platform.fileChoices.push_back(std::string("C:\\Media\\err.wav"));
    open.Click(IDC_ERROR_BROWSE);
    open.Tick(IDC_NOMAIL_SOUND, false);
    open.Tick(IDC_NEWMAIL_SOUND, true);
    open.Type(IDC_NOMAIL_WAV, "C:\\quiet.wav");
    open.Click(kIdOk);
  });
  EXPECT_EQ(
      "pop.example.com\r\nalice\r\n\r\n15\r\nTRUE\r\nC:\\new.wav\r\nFALSE\r\nC:\\quiet.wav\r\n"
      "TRUE\r\nC:\\Media\\err.wav\r\nTRUE\r\n",
      platform.files[kPath]);
}

TEST_F(OptionsCommandTest, AnOkThatCannotSaveSaysWhereKeepsTheValuesAndExitTriesAgain) {
  platform.folderReadOnly = true;
  platform.credentialWritesFail = true;
  Command(ID_SERVER_OPTIONS, [](FakeDialog& open) {
    open.Type(IDC_SERVER, "mail.example.org");
    open.Click(kIdOk);
  });
  Command(ID_SOUND_OPTIONS, [](FakeDialog& open) {
    open.Tick(IDC_SHOW_COUNT, false);
    open.Click(kIdOk);
  });
  ASSERT_EQ(2u, platform.boxes.size()) << "one box for each dialog";
  for (const MessageBoxCall& box : platform.boxes) {
    EXPECT_EQ(
        "The settings could not be saved to\nC:\\Tools\\tarvik.ini\n\n"
        "They stay in use, and saving is tried again when the program ends.",
        box.text);
    EXPECT_EQ("Tarvik", box.caption);
    EXPECT_EQ(BoxKind::kWarning, box.kind);
  }
  EXPECT_EQ(kFile, platform.files[kPath]);
  EXPECT_EQ("mail.example.org", frame.Settings().m_strServer);
  EXPECT_EQ(0, frame.Settings().m_bShowCount);

  platform.folderReadOnly = false;
  platform.SendToFrame(win::kWmClose);
  EXPECT_EQ(
      "mail.example.org\r\nalice\r\nsecret\r\n15\r\nFALSE\r\nC:\\new.wav\r\nTRUE\r\n\r\n"
      "FALSE\r\n\r\nFALSE\r\n",
      platform.files[kPath]);
  EXPECT_EQ(2u, platform.boxes.size());
}

TEST_F(OptionsCommandTest, ACheckDueWhileADialogIsOpenUsesTheFramesValues) {
  Command(ID_SERVER_OPTIONS, [this](FakeDialog& open) {
    open.Type(IDC_SERVER, "typed.example.org");
    open.Type(IDC_USERNAME, "typed");
    platform.Tick(6 * 15);
    FinishCheck(platform, frame);
    EXPECT_EQ(2, server.sessions);
    EXPECT_EQ("pop.example.com", server.host);
    EXPECT_EQ("USER alice", server.transcript.at(5));
    open.Click(kIdOk);
  });
  EXPECT_EQ("typed.example.org", frame.Settings().m_strServer);
}

// Each account's row shows its state; a removed account's seen mail goes
// unless another account reads the same mailbox.
TEST_F(OptionsCommandTest, AccountsListsEachAccountsStateAndOkSavesTheirGroups) {
  server = MemoryServer::Standard("+OK 1 1\r\n");
  RunCheck(platform, frame);
  ChangeSettings(frame, [](MailSettings& s) {
    ParseKeyLines({"AccountName=Home", "Account=Work", "Server=w", "User=bob", "Account=",
                   "Server=w", "User=bob", "Account=", "Server=o", "User=carol"},
                  s);
  });
  const std::vector<AccountSettings> accounts = AllAccounts(frame.Settings());
  for (size_t i : {1u, 3u}) platform.files[SeenMailPathOf(kPath, accounts[i], false)] = "seen";
  Command(ID_ACCOUNTS, [](FakeDialog& open) {
    EXPECT_EQ((std::vector<std::string>{"Home\tpop.example.com\talice\t1 waiting",
                                        "Work\tw\tbob\tNot connected",
                                        "bob@w\tw\tbob\tNot connected",
                                        "carol@o\to\tcarol\tNot connected"}),
              open.lists[IDC_ACCOUNT_LIST]);
    EXPECT_EQ("Home", open.Text(IDC_ACCOUNT_NAME)) << "the first row is selected";
    open.selected[IDC_ACCOUNT_LIST] = 3;
    open.Click(IDC_ACCOUNT_LIST);
    EXPECT_TRUE(open.disabled[IDC_ACCOUNT_DOWN]) << "the last row goes no lower";
    open.Click(IDC_ACCOUNT_REMOVE);
    open.Click(IDC_ACCOUNT_REMOVE);
    open.Click(kIdOk);
  });
  EXPECT_EQ(std::string(kStoredFile) + "AccountName=Home\r\nMailProgram=\r\nLoginForm=\r\n"
                                       "Account=Work\r\nServer=w\r\nUser=bob\r\nMinutes=5\r\n",
            platform.files[kPath]);
  EXPECT_EQ(1u, platform.files.count(SeenMailPathOf(kPath, accounts[1], false)));
  EXPECT_EQ(0u, platform.files.count(SeenMailPathOf(kPath, accounts[3], false)));
}

}  // namespace

namespace {

TEST_F(OptionsCommandTest, NotificationOptionsSaveAndOpenMailOpensWhatTheyName) {
  const auto openMail = [this] { return platform.MenuItems().front(); };
  EXPECT_EQ(ID_OPEN_MAIL, openMail().command);
  platform.SendToFrame(WM_TRAY_NOTIFY, 2000, win::kWmRButtonDown);
  EXPECT_FALSE(openMail().enabled) << "nothing to open: no setting, no registered program";
  platform.SendToFrame(win::kWmCommand, ID_OPEN_MAIL);
  EXPECT_TRUE(platform.started.empty());

  // The registered program's command runs as one line, without its document's place.
  platform.registeredMail = "C:\\Program Files\\Mail\\mail.exe\t/inbox \"%1\"\t";
  platform.SendToFrame(WM_TRAY_NOTIFY, 2000, win::kWmRButtonDown);
  EXPECT_TRUE(openMail().enabled);
  platform.SendToFrame(WM_TRAY_NOTIFY, 2000, win::kNinBalloonUserClick);
  EXPECT_EQ(std::vector<std::string>{"run C:\\Program Files\\Mail\\mail.exe\t/inbox"},
            platform.started);
  EXPECT_EQ("\"C:\\x\\y.exe\" -mail  -z", RegisteredCommandLine("\"C:\\x\\y.exe\" -mail %L -z"));
  EXPECT_EQ("%ProgramFiles%\\y.exe", RegisteredCommandLine(" %ProgramFiles%\\y.exe %l"));

  Command(ID_NOTIFICATION_OPTIONS, [](FakeDialog& open) {
    EXPECT_EQ(IDD_NOTIFICATION_OPTIONS, open.templateId);
    EXPECT_TRUE(open.Checked(IDC_ANNOUNCE_ONLY_NEW));
    EXPECT_TRUE(open.Checked(IDC_SHOW_NOTIFICATION));
    EXPECT_TRUE(open.Checked(IDC_SHOW_SENDER));
    EXPECT_FALSE(open.Checked(IDC_WRITE_LOG));
    open.Tick(IDC_SHOW_SENDER, false);
    open.Tick(IDC_WRITE_LOG, true);
    open.Type(IDC_MAIL_PROGRAM, " https://mail.example.com ");
    open.Click(kIdOk);
  });
  EXPECT_EQ(std::string(kStoredFile) +
                "ShowSenderAndSubject=FALSE\r\nWriteLog=TRUE\r\n"
                "MailProgram= https://mail.example.com \r\n",
            platform.files[kPath]);
  platform.SendToFrame(win::kWmCommand, ID_OPEN_MAIL);
  EXPECT_EQ("open https://mail.example.com", platform.started.back());
  EXPECT_EQ(std::vector<std::string>{"fit labels " + std::to_string(IDD_NOTIFICATION_OPTIONS)},
            platform.EventsStartingWith("fit labels"));

  platform.files["C:\\Mail Tools\\mail.exe"] = "MZ";
  const char* settings[][2] = {
      {"\"C:\\Mail Tools\\mail.exe\" /inbox", "run \"C:\\Mail Tools\\mail.exe\" /inbox"},
      {"C:\\Mail Tools\\mail.exe", "open C:\\Mail Tools\\mail.exe"},  // an existing file
      {"outlook:inbox", "open outlook:inbox"},
      {"C:mail.exe -x", "run C:mail.exe -x"},
  };
  for (const auto& row : settings) {
    ChangeSettings(frame, [&row](MailSettings& s) { s.mailProgram = row[0]; });
    platform.SendToFrame(win::kWmCommand, ID_OPEN_MAIL);
    EXPECT_EQ(row[1], platform.started.back());
  }
}

}  // namespace
