#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>

#include "check/decimal.h"
#include "settings/password_store.h"
#include "settings/seen_mail_file.h"
#include "settings/settings_file.h"
#include "tests/double/fake_platform.h"

namespace {

const char kPath[] = "C:\\Tools\\tarvik.ini";

std::string File(const std::string& interval, const std::string& newMail = "TRUE",
                 const std::string& showCount = "TRUE") {
  return "pop.example.com\r\nalice\r\nse cret\r\n" + interval + "\r\n" + newMail +
         "\r\nC:\\new.wav\r\nFALSE\r\nC:\\none.wav\r\nTRUE\r\nC:\\err.wav\r\n" + showCount + "\r\n";
}

MailSettings Parsed(const std::string& content) {
  MailSettings settings;
  ParseSettings(content, settings);
  return settings;
}

TEST(SettingsPath, ReplacesTheLastThreeCharactersWhateverTheyAre) {
  EXPECT_EQ("C:\\Tools\\checker.ini", SettingsPathFor("C:\\Tools\\checker.exe"));
  EXPECT_EQ("C:\\Tools\\chini", SettingsPathFor("C:\\Tools\\check"));
  EXPECT_EQ("C:\\a.b\\proini", SettingsPathFor("C:\\a.b\\prog.x"));
  const std::string deep = "C:\\" + std::string(300, 'd') + "\\tarvik.exe";
  EXPECT_EQ(deep.substr(0, deep.size() - 3) + "ini", SettingsPathFor(deep));
}

TEST(SettingsParse, ReadsElevenLinesInOrder) {
  const MailSettings s = Parsed(File("15"));
  EXPECT_EQ("pop.example.com", s.m_strServer);
  EXPECT_EQ("alice", s.m_strUser);
  EXPECT_EQ("se cret", s.m_strPassword);
  EXPECT_EQ(15, s.m_nInterval);
  EXPECT_EQ(1, s.m_bNewMailSound);
  EXPECT_EQ("C:\\new.wav", s.m_strNewMailWav);
  EXPECT_EQ(0, s.m_bNoMailSound);
  EXPECT_EQ("C:\\none.wav", s.m_strNoMailWav);
  EXPECT_EQ(1, s.m_bErrorSound);
  EXPECT_EQ("C:\\err.wav", s.m_strErrorWav);
  EXPECT_EQ(1, s.m_bShowCount);
}

TEST(SettingsParse, OnlyAnExactTrueSwitchesOn) {
  EXPECT_EQ(0, Parsed(File("5", "true")).m_bNewMailSound);
  EXPECT_EQ(0, Parsed(File("5", "TRUE ")).m_bNewMailSound);
  EXPECT_EQ(0, Parsed(File("5", " TRUE")).m_bNewMailSound);
  EXPECT_EQ(0, Parsed(File("5", "1")).m_bNewMailSound);
  EXPECT_EQ(0, Parsed(File("5", "TRUE", "")).m_bShowCount);
}

TEST(SettingsParse, IntervalIsHeldBetweenFiveAndOneHundredTwenty) {
  EXPECT_EQ(5, Parsed(File("3")).m_nInterval);
  EXPECT_EQ(5, Parsed(File("0")).m_nInterval);
  EXPECT_EQ(5, Parsed(File("-40")).m_nInterval);
  EXPECT_EQ(5, Parsed(File("soon")).m_nInterval);
  EXPECT_EQ(5, Parsed(File("")).m_nInterval);
  EXPECT_EQ(120, Parsed(File("500")).m_nInterval);
  EXPECT_EQ(120, Parsed(File("120")).m_nInterval);
  EXPECT_EQ(12, Parsed(File("  12 minutes")).m_nInterval);
  EXPECT_EQ(120, Parsed(File("99999999999999999999")).m_nInterval);
}

TEST(SettingsParse, ShortAndEmptyFilesReadAsEmptyLines) {
  const MailSettings two = Parsed("mail.example.com\r\nbob");
  EXPECT_EQ("mail.example.com", two.m_strServer);
  EXPECT_EQ("bob", two.m_strUser);
  EXPECT_EQ("", two.m_strPassword);
  EXPECT_EQ(5, two.m_nInterval);
  EXPECT_EQ(0, two.m_bShowCount);
  EXPECT_EQ("", two.m_strErrorWav);

  MailSettings fromEmpty;
  fromEmpty.m_strServer = fromEmpty.first.name = "left over";
  ParseSettings("", fromEmpty);
  EXPECT_EQ("", fromEmpty.m_strServer + fromEmpty.first.name);
  EXPECT_EQ(5, fromEmpty.m_nInterval);
}

TEST(SettingsParse, LfOnlyAndCrOnlyLineEndsSplitLinesToo) {
  const MailSettings lf = Parsed("host\nuser\npass\n20\nTRUE\n");
  EXPECT_EQ("pass", lf.m_strPassword);
  EXPECT_EQ(20, lf.m_nInterval);
  EXPECT_EQ(1, lf.m_bNewMailSound);
  const MailSettings cr = Parsed("host\ruser\rpass\r20\rTRUE\r");
  EXPECT_EQ("user", cr.m_strUser);
  EXPECT_EQ(20, cr.m_nInterval);
  EXPECT_EQ(1, cr.m_bNewMailSound);
  // An empty line between two CR LF ends stays an empty line.
  EXPECT_EQ("", Parsed("host\r\n\r\npass\r\n").m_strUser);
  EXPECT_EQ("pass", Parsed("host\r\n\r\npass\r\n").m_strPassword);
}

TEST(SettingsFormat, WritesElevenCrLfLinesWithSwitchesAsTrueOrFalse) {
  MailSettings s;
  s.m_strServer = "TRUE";
  s.m_strPassword = "p a s s";
  s.m_nInterval = 120;
  s.m_bNewMailSound = 1;
  s.m_bNoMailSound = 2;
  s.m_bErrorSound = -1;
  s.m_bShowCount = 0;
  EXPECT_EQ("TRUE\r\n\r\np a s s\r\n120\r\nTRUE\r\n\r\nFALSE\r\n\r\nFALSE\r\n\r\nFALSE\r\n",
            FormatSettings(s));
}

TEST(SettingsFormat, RoundTripKeepsValuesButOnlyOneMeansOn) {
  MailSettings s = Parsed(File("77"));
  s.m_bNoMailSound = 7;
  const MailSettings again = Parsed(FormatSettings(s));
  EXPECT_EQ(s.m_strServer, again.m_strServer);
  EXPECT_EQ(s.m_strPassword, again.m_strPassword);
  EXPECT_EQ(77, again.m_nInterval);
  EXPECT_EQ(1, again.m_bNewMailSound);
  EXPECT_EQ(0, again.m_bNoMailSound);
  EXPECT_EQ(s.m_strErrorWav, again.m_strErrorWav);
  EXPECT_EQ(1, again.m_bShowCount);
}

TEST(SettingsFormat, ALineBreakInAValueCannotShiftTheLinesAfterIt) {
  MailSettings s;
  s.m_strServer = "host\r\nFALSE";
  s.m_strPassword = "a\nb\rc";
  s.m_nInterval = 9;
  s.m_bShowCount = 1;
  const std::string content = FormatSettings(s);
  const MailSettings again = Parsed(content);
  EXPECT_EQ("hostFALSE", again.m_strServer);
  EXPECT_EQ("abc", again.m_strPassword);
  EXPECT_EQ(9, again.m_nInterval);
  EXPECT_EQ(1, again.m_bShowCount);
}

TEST(SettingsFormat, NewerSettingsFollowTheElevenLinesOnlyWhenNotAtTheirDefaults) {
  MailSettings s = Parsed(File("5") + "Unknown=x\r\nnot a setting\r\nLoginForm=ANSI\r\n"
                                      "LoginForm=second\r\nWriteLog=TRUE\r\n");
  EXPECT_EQ(LoginForm::kAnsi, s.first.loginForm) << "the first line for a key counts";
  EXPECT_EQ(File("5") + "LoginForm=ANSI\r\nWriteLog=TRUE\r\n", FormatSettings(s))
      << "only known keys are kept, in the order they were read";
  s.mailProgram = "a\r\nb";
  s.showSender = false;
  EXPECT_EQ(File("5") + "LoginForm=ANSI\r\nWriteLog=TRUE\r\nShowSenderAndSubject=FALSE\r\n"
                        "MailProgram=ab\r\n",
            FormatSettings(s));
  s = Parsed(File("5"));
  EXPECT_TRUE(s.announceOnlyNew && s.showNotification && s.showSender && s.first.push);
  EXPECT_EQ(File("5"), FormatSettings(s)) << "at their defaults, the eleven lines alone";
  for (const char* line : {"LoginForm=UTF-8", "WriteLog=TRUE", "AnnounceOnlyNewMail=FALSE",
                           "ShowNotification=FALSE", "ShowSenderAndSubject=FALSE", "MailProgram=x",
                           "AccountName=x", "Push=FALSE", "SignIn=Microsoft",
                           "MicrosoftClientId=x", "MicrosoftAuthority=x", "MicrosoftHosts=x"})
    EXPECT_EQ(File("5") + line + "\r\n", FormatSettings(Parsed(File("5") + line + "\r\n")))
        << "kept: " << line;
}

// Further accounts follow as groups; every file here is written back as read.
TEST(SettingsFormat, AccountsFollowInGroupsAndSaveBackAsTheyWere) {
  const std::string globals = "MailProgram=\r\nLoginForm=\r\n";
  const struct {
    std::string after;  // the lines after the eleven
    size_t loaded;      // accounts checked, the first included
    std::vector<std::string> names;
  } rows[] = {
      {"AccountName=Home\r\n" + globals +
           "Account=Work\r\nServer=pop3s://mail.work.test\r\nUser=bob\r\nMinutes=7\r\n"
           "LoginForm=ANSI\r\nPush=FALSE\r\nSignIn=Microsoft\r\nLater=kept\r\n",
       2, {"Home", "Work"}},
      {globals + "Account=\r\nServer=s\r\nUser=u\r\nMinutes=5\r\n"
                 "Account=home\r\nServer=t\r\nUser=v\r\nMinutes=5\r\n"
                 "Account=HOME\r\nServer=w\r\nUser=x\r\nMinutes=5\r\n",
       4, {"alice@pop.example.com", "u@s", "home", "x@w"}},
  };
  for (const auto& row : rows) {
    const MailSettings s = Parsed(File("5") + row.after);
    const std::vector<AccountSettings> accounts = AllAccounts(s);
    EXPECT_EQ(row.loaded, accounts.size());
    EXPECT_EQ(row.names, DisplayNames(accounts));
    EXPECT_EQ(File("5") + row.after, FormatSettings(s));
  }
  const MailSettings work = Parsed(File("5") + rows[0].after);
  const AccountSettings& group = work.further.at(0);
  EXPECT_EQ(7, group.interval);
  EXPECT_FALSE(group.push);
  EXPECT_EQ("Microsoft", group.signIn);
  EXPECT_EQ(LoginForm::kAnsi, group.loginForm);
  EXPECT_EQ(LoginForm::kUnknown, work.first.loginForm) << "a group's key is not the first's";

  std::string many = File("5");
  for (int i = 2; i <= 21; ++i)
    many += "Account=a" + std::to_string(i) + "\r\nServer=s\r\nUser=u" + std::to_string(i) +
            "\r\nMinutes=500\r\n";
  const MailSettings limit = Parsed(many);
  EXPECT_EQ(kMaxAccounts, AllAccounts(limit).size());
  EXPECT_EQ(120, limit.further.back().interval);
  EXPECT_EQ(4u, limit.keptLines.size()) << "the 21st account is kept, not loaded";
  std::string expected = File("5") + globals;
  for (int i = 2; i <= 21; ++i)
    expected += "Account=a" + std::to_string(i) + "\r\nServer=s\r\nUser=u" + std::to_string(i) +
                "\r\nMinutes=" + (i < 21 ? "120" : "500") + "\r\n";
  EXPECT_EQ(expected, FormatSettings(limit)) << "the global keys stand before the first group";
}

TEST(SettingsParse, AnyBytesLoadWithoutHarmAndSaveBackStably) {
  std::string garbage;
  unsigned seed = 12345;
  for (int i = 0; i < 64 * 1024; ++i) {
    seed = seed * 1103515245 + 12345;
    garbage += static_cast<char>(seed >> 16);
  }
  for (const std::string& content :
       {garbage, std::string(10 * 1024 * 1024, 'x'), std::string(1000, '\0'),
        std::string(100 * 1024, 'a') + "\r\n" + std::string(100 * 1024, 'b') + "\n12\r\nTRUE"}) {
    const Latin1Codec codec;
    const MailSettings loaded = Parsed(SettingsFileText(codec, content));
    EXPECT_GE(loaded.m_nInterval, kMinimumInterval);
    EXPECT_LE(loaded.m_nInterval, kMaximumInterval);
    const std::string saved = FormatSettings(loaded);
    EXPECT_EQ(saved, FormatSettings(Parsed(saved))) << "what is saved loads back the same";
    EXPECT_EQ(saved, SettingsFileText(codec, SettingsFileBytes(codec, saved)));
    size_t lines = 0;
    for (size_t at = saved.find("\r\n"); at != std::string::npos; at = saved.find("\r\n", at + 2))
      ++lines;
    EXPECT_LE(11u, lines);
  }
  const MailSettings longLines =
      Parsed(std::string(100 * 1024, 'a') + "\r\n" + std::string(100 * 1024, 'b') + "\n12");
  EXPECT_EQ(100u * 1024, longLines.m_strServer.size());
  EXPECT_EQ(100u * 1024, longLines.m_strUser.size());
  EXPECT_EQ("12", longLines.m_strPassword);
}

TEST(Decimal, ReadsLikeAtoiButClampsInsteadOfOverflowing) {
  EXPECT_EQ(0, ParseDecimal(""));
  EXPECT_EQ(0, ParseDecimal("x1"));
  EXPECT_EQ(42, ParseDecimal(" \t42abc"));
  EXPECT_EQ(-7, ParseDecimal("-7"));
  EXPECT_EQ(3, ParseDecimal("+3"));
  EXPECT_EQ(7, ParseDecimal("007"));
  EXPECT_EQ(0, ParseDecimal("- 3"));
  EXPECT_EQ(INT_MAX, ParseDecimal("2147483647"));
  EXPECT_EQ(INT_MAX, ParseDecimal("2147483648"));
  EXPECT_EQ(INT_MIN, ParseDecimal("-2147483648"));
  EXPECT_EQ(INT_MIN, ParseDecimal("-99999999999999999999999"));
  EXPECT_EQ(INT_MAX, ParseDecimal(std::string(5000, '9')));
}

TEST(SettingsFile, SaveReplacesTheFileInOneStep) {
  FakePlatform platform;
  platform.files[kPath] = "old";
  MailSettings s = Parsed(File("10"));
  ASSERT_TRUE(SaveSettingsFile(platform.FileSystem(), platform.Codec(), kPath, s));
  EXPECT_EQ(FormatSettings(s), platform.files[kPath]);
  EXPECT_EQ(std::vector<std::string>({std::string("save ") + kPath}), platform.events);
}

TEST(SettingsFile, AFailedSaveLeavesThePreviousFileWhole) {
  MailSettings s = Parsed(File("10"));
  {
    FakePlatform fullDisk;
    fullDisk.files[kPath] = "previous";
    fullDisk.fullDiskPaths.insert(kPath);
    EXPECT_FALSE(SaveSettingsFile(fullDisk.FileSystem(), fullDisk.Codec(), kPath, s));
    EXPECT_EQ("previous", fullDisk.files[kPath]) << "not cut short by a rewrite in place";
    EXPECT_TRUE(fullDisk.EventsStartingWith("rewrite").empty());
  }
  {
    FakePlatform readOnlyFolder;
    readOnlyFolder.files[kPath] = "previous";
    readOnlyFolder.folderReadOnly = true;
    EXPECT_FALSE(SaveSettingsFile(readOnlyFolder.FileSystem(), readOnlyFolder.Codec(), kPath, s));
    EXPECT_EQ("previous", readOnlyFolder.files[kPath]);
    EXPECT_EQ(1u, readOnlyFolder.files.size());
  }
  {
    FakePlatform lockedFolder;
    lockedFolder.files[kPath] = "previous";
    lockedFolder.folderReadOnly = lockedFolder.filesWritable = true;
    EXPECT_TRUE(SaveSettingsFile(lockedFolder.FileSystem(), lockedFolder.Codec(), kPath, s)) << "rewritten in place";
    EXPECT_EQ(FormatSettings(s), lockedFolder.files[kPath]);
    EXPECT_EQ(1u, lockedFolder.files.size());
    EXPECT_EQ(1u, lockedFolder.EventsStartingWith("rewrite").size());
    lockedFolder.files.erase(kPath);
    EXPECT_FALSE(SaveSettingsFile(lockedFolder.FileSystem(), lockedFolder.Codec(), kPath, s)) << "a file it may not create";
    EXPECT_TRUE(lockedFolder.files.empty());
  }
  {
    FakePlatform lockedFile;
    lockedFile.files[kPath] = "previous";
    lockedFile.replaceFails = true;
    EXPECT_FALSE(SaveSettingsFile(lockedFile.FileSystem(), lockedFile.Codec(), kPath, s));
    EXPECT_EQ("previous", lockedFile.files[kPath]);
  }
}

TEST(SettingsFile, LoadReportsAMissingFileAndLeavesTheSettings) {
  FakePlatform platform;
  MailSettings s;
  s.m_strServer = "kept";
  EXPECT_FALSE(LoadSettingsFile(platform.FileSystem(), platform.Codec(), kPath, s));
  EXPECT_EQ("kept", s.m_strServer);
  platform.files[kPath] = File("8");
  EXPECT_TRUE(LoadSettingsFile(platform.FileSystem(), platform.Codec(), kPath, s));
  EXPECT_EQ("pop.example.com", s.m_strServer);
  EXPECT_EQ(8, s.m_nInterval);
}

// "Łódź" has no form in cp1252; "pässwörd" has one that differs from UTF-8.
TEST(SettingsFile, ReadsUtf8OrTheAnsiCodePageAndWritesAnsiWhereItCan) {
  const std::string ascii = "pop.example.com\r\nalice\r\n\r\n5\r\nFALSE\r\n\r\nFALSE\r\n\r\n"
                            "FALSE\r\n\r\nFALSE\r\n";
  const struct {
    std::string file;
    std::string password;
    std::string wav;
    std::string saved;
  } rows[] = {
      {ascii, "", "", ascii},  // byte for byte as an earlier version wrote it
      {"h\r\nu\r\np\xE4ssw\xF6rd\r\n5\r\nTRUE\r\nC:\\\xDF.wav\r\n", "p\xC3\xA4ssw\xC3\xB6rd",
       "C:\\\xC3\x9F.wav", "h\r\nu\r\np\xE4ssw\xF6rd\r\n5\r\nTRUE\r\nC:\\\xDF.wav\r\n"},
      {"h\r\nu\r\np\xC3\xA4ssw\xC3\xB6rd\r\n5\r\n", "p\xC3\xA4ssw\xC3\xB6rd", "",
       "h\r\nu\r\np\xE4ssw\xF6rd\r\n5\r\n"},  // read as UTF-8, written in ANSI
      {"h\r\nu\r\n\r\n5\r\nTRUE\r\nC:\\\xC5\x81\xC3\xB3" "d\xC5\xBA\\a.wav\r\n", "",
       "C:\\\xC5\x81\xC3\xB3" "d\xC5\xBA\\a.wav",
       "h\r\nu\r\n\r\n5\r\nTRUE\r\nC:\\\xC5\x81\xC3\xB3" "d\xC5\xBA\\a.wav\r\n"},  // UTF-8, no mark
      {"h\r\nu\r\n\xC3\x9C\xC2\xA7\r\n5\r\n", "\xC3\x9C\xC2\xA7", "",
       "h\r\nu\r\n\xC3\x9C\xC2\xA7\r\n5\r\n"},  // in ANSI, DC A7 would read as UTF-8
      {"\xEF\xBB\xBFh\r\nu\r\np\xC3\xA4ss\r\n", "p\xC3\xA4ss", "", "h\r\nu\r\np\xE4ss\r\n"},
      {"\xEF\xBB\xBF\r\nu\r\n\xEF\xBB\xBF\xEF\xBB\xBF\r\n", "\xEF\xBB\xBF\xEF\xBB\xBF", "",
       "\r\nu\r\n\xEF\xBB\xBF\xEF\xBB\xBF\r\n"},  // only a leading mark goes
  };
  for (const auto& row : rows) {
    FakePlatform platform;
    platform.files[kPath] = row.file;
    MailSettings s;
    ASSERT_TRUE(LoadSettingsFile(platform.FileSystem(), platform.Codec(), kPath, s));
    EXPECT_EQ(row.password, s.m_strPassword);
    EXPECT_EQ(row.wav, s.m_strNewMailWav);
    ASSERT_TRUE(SaveSettingsFile(platform.FileSystem(), platform.Codec(), kPath, s));
    const std::string& saved = platform.files[kPath];
    EXPECT_EQ(row.saved, saved.substr(0, row.saved.size())) << row.file;
    EXPECT_TRUE(row.file != ascii || saved == ascii);
    MailSettings again;
    ASSERT_TRUE(LoadSettingsFile(platform.FileSystem(), platform.Codec(), kPath, again));
    EXPECT_EQ(FormatSettings(s), FormatSettings(again)) << "read back the same: " << row.file;
  }
}

TEST(PasswordStore, MovesTheFilesPasswordsInAndStaysInTheFileWhereRefused) {
  FakePlatform platform;
  std::vector<AccountSettings> s =
      AllAccounts(Parsed(File("5") + "Account=Work\r\nServer=w\r\nUser=bob\r\nPassword=pw\r\n"));
  PasswordStore store(platform.Store());
  store.Recall(s);
  EXPECT_EQ("se cret", s[0].password) << "line 3 is used as before";
  EXPECT_EQ("pw", s[1].password) << "and a group's password line as line 3";
  const std::vector<AccountSettings> forFile = store.ForFile(s);
  EXPECT_EQ("", forFile[0].password + forFile[1].password) << "moved at the save";
  EXPECT_EQ("se cret", platform.credentials["Tarvik:alice@pop.example.com"]);
  EXPECT_EQ("pw", platform.credentials["Tarvik:bob@w"]);

  std::vector<AccountSettings> fromEmptyLines = forFile;
  PasswordStore next(platform.Store());
  next.Recall(fromEmptyLines);
  EXPECT_EQ("se cret", fromEmptyLines[0].password) << "found at the next start";
  next.ForFile({fromEmptyLines[0]});
  EXPECT_EQ(0u, platform.credentials.count("Tarvik:bob@w")) << "a removed account's goes";
  EXPECT_EQ("se cret", platform.credentials["Tarvik:alice@pop.example.com"]) << "a kept one stays";

  FakePlatform refusing;
  refusing.credentialWritesFail = true;
  PasswordStore refused(refusing.Store());
  EXPECT_EQ("pw", refused.ForFile(s)[1].password);

  FakePlatform elsewhere;  // a portable copy moved to another PC
  std::vector<AccountSettings> moved = forFile;
  PasswordStore none(elsewhere.Store());
  none.Recall(moved);
  EXPECT_TRUE(PasswordNeeded(moved[0]));
  moved[0].server.clear();
  EXPECT_FALSE(PasswordNeeded(moved[0])) << "no server says more than no password";
}

TEST(SettingsFile, OnlyTheFirstMebibyteOfAHugeFileIsRead) {
  FakePlatform platform;
  platform.files[kPath] = File("8") + std::string(64 * 1024 * 1024, 'x');
  MailSettings s;
  EXPECT_TRUE(LoadSettingsFile(platform.FileSystem(), platform.Codec(), kPath, s));
  EXPECT_EQ("pop.example.com", s.m_strServer);
  EXPECT_EQ(8, s.m_nInterval);

  platform.files[kPath] = std::string(3 * 1024 * 1024, 's') + "\r\nalice\r\n";
  EXPECT_TRUE(LoadSettingsFile(platform.FileSystem(), platform.Codec(), kPath, s));
  EXPECT_EQ(1024u * 1024u, s.m_strServer.size());
  EXPECT_EQ("", s.m_strUser) << "nothing after the bound is read";
}

}  // namespace

namespace {

TEST(SeenMail, RoundTripsAndADamagedOrForeignFileIsAFirstCheck) {
  FakePlatform platform;
  const std::string path = SeenMailPathOf("C:\\Tools\\tarvik.ini", AccountSettings(), true);
  EXPECT_EQ("C:\\Tools\\tarvik.seen", path);
  const uint64_t account = AccountHash("pop.example.com", "alice");
  EXPECT_NE(account, AccountHash("pop.example.com", "bob"));
  EXPECT_EQ(0xaf63dc4c8601ec8cULL, SeenHash("a")) << "the files written so far hold FNV-1a";
  SeenMail seen;
  seen.known = true;
  seen.account = account;
  seen.count = 3;
  seen.ids = {SeenHash("a"), SeenHash("b"), SeenHash("c")};
  std::sort(seen.ids.begin(), seen.ids.end());
  ASSERT_TRUE(SaveSeenMail(platform.FileSystem(), path, seen));
  const std::string good = platform.files[path];
  char head[64];
  std::snprintf(head, sizeof head, "Tarvik seen mail 1\n%016llx 3\n",
                static_cast<unsigned long long>(account));
  EXPECT_EQ(head, good.substr(0, 38)) << "without messages told by the count, as ever";

  const SeenMail loaded = LoadSeenMail(platform.FileSystem(), path, account);
  EXPECT_TRUE(loaded.known);
  EXPECT_EQ(3, loaded.count);
  EXPECT_EQ(seen.ids, loaded.ids);
  for (const auto& [count, told] : {std::pair{2147483647, 0}, std::pair{12, 1}}) {
    seen.count = count;
    seen.toldByCount = told;
    ASSERT_TRUE(SaveSeenMail(platform.FileSystem(), path, seen));
    const SeenMail reloaded = LoadSeenMail(platform.FileSystem(), path, account);
    EXPECT_TRUE(reloaded.known) << count;
    EXPECT_EQ(count, reloaded.count);
    EXPECT_EQ(told, reloaded.toldByCount);
  }
  EXPECT_FALSE(LoadSeenMail(platform.FileSystem(), path, AccountHash("other", "alice")).known);

  const std::string damaged[] = {
      "", good.substr(0, good.size() - 2), good.substr(0, good.size() / 2),
      good + "0000000000000000\n", "Tarvik seen mail 2" + good.substr(18),
      good.substr(0, 36) + "10000000003" + good.substr(37),  // more digits than an int has
  };
  for (const std::string& text : damaged) {
    platform.files[path] = text;
    const SeenMail none = LoadSeenMail(platform.FileSystem(), path, account);
    EXPECT_FALSE(none.known) << text;
    EXPECT_TRUE(none.ids.empty()) << text;
  }
  platform.files.erase(path);
  EXPECT_FALSE(LoadSeenMail(platform.FileSystem(), path, account).known);
  // Unsorted hashes are not a file this program wrote.
  std::string swapped = good;
  std::swap_ranges(swapped.begin() + 38, swapped.begin() + 55, swapped.begin() + 55);
  platform.files[path] = swapped;
  EXPECT_FALSE(LoadSeenMail(platform.FileSystem(), path, account).known);
  // An IMAP account's record, its first line its own.
  seen.uidValidity = 1700000000;
  seen.lastUid = 4294967295u;
  ASSERT_TRUE(SaveSeenMail(platform.FileSystem(), path, seen));
  const std::string imapText = platform.files[path];
  const SeenMail back = LoadSeenMail(platform.FileSystem(), path, account);
  EXPECT_TRUE(back.known && back.ids.empty());
  EXPECT_EQ(std::make_pair(1700000000u, 4294967295u),
            std::make_pair(back.uidValidity, back.lastUid));
  const size_t space = imapText.find(' ');
  for (const std::string& text :
       {imapText.substr(0, imapText.size() - 1), imapText + "\n",
        imapText.substr(0, space) + " 0 5\n", imapText.substr(0, space) + " 1 4294967296\n",
        imapText.substr(0, space) + " 1 -5\n", imapText.substr(0, space) + " 1  5\n"}) {
    platform.files[path] = text;
    EXPECT_FALSE(LoadSeenMail(platform.FileSystem(), path, account).known) << text;
  }
}

}  // namespace
