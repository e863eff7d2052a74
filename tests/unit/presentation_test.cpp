#include "agent/presentation.h"

#include <gtest/gtest.h>

#include "agent/gathering.h"
#include "platform/utf8_text.h"
#include "res/resource.h"

namespace {

using Lines = std::vector<std::string>;

CheckOutcome Count(int count, int newCount = 0, std::vector<MailSummary> newest = {}) {
  CheckOutcome outcome;
  outcome.kind = OutcomeKind::kMailboxCount;
  outcome.count = count;
  outcome.countText = std::to_string(count);
  outcome.newCount = newCount;
  outcome.newest = std::move(newest);
  return outcome;
}

CheckOutcome Failure(CheckResult result) { return FailedAt(result); }

CheckOutcome Held(OutcomeKind kind) {
  CheckOutcome held;
  held.kind = kind;
  return held;
}

CheckOutcome Advised(CheckOutcome outcome, Advice advice) {
  outcome.advice = advice;
  return outcome;
}

std::vector<AccountView> Accounts(const Lines& names) {
  std::vector<AccountView> views;
  for (const std::string& name : names) views.push_back({name, name + "\nuser\npassword", {}});
  return views;
}

MailSettings Sounds() {
  MailSettings settings;
  settings.m_bNewMailSound = settings.m_bNoMailSound = settings.m_bErrorSound = 1;
  settings.m_strNewMailWav = "new.wav";
  settings.m_strNoMailWav = "none.wav";
  settings.m_strErrorWav = "err.wav";
  settings.m_bShowCount = 1;
  return settings;
}

// Each row: the accounts, what arrives in turn (each told at once), and what
// the last arrival shows.
struct Row {
  const char* what;
  Lines names;
  std::vector<std::pair<size_t, CheckOutcome>> arrivals;
  int picture;
  std::string tip;
  std::string sound;
  std::string box;
  std::string balloon;
};

TEST(Presentation, EachRuleIsARow) {
  const std::string clef = "\xF0\x9F\x93\xA7";
  const Row rows[] = {
      {"one account: a count", {""}, {{0, Count(3, 3)}}, IDI_NEWMAIL,
       "You have 3 messages waiting", "new.wav", "You have 3 messages waiting", "3 new messages"},
      {"one account: no mail", {""}, {{0, Count(0)}}, IDI_NOMAIL, "No messages waiting",
       "none.wav", "", ""},
      {"one account: old mail, announced only when new", {""}, {{0, Count(2)}}, IDI_NEWMAIL,
       "You have 2 messages waiting", "", "", ""},
      {"one account: a failure keeps the tip", {""}, {{0, Count(1)}, {0, Failure(kCheckStatFailed)}},
       IDI_NOTCONNECTED, "You have 1 message waiting", "err.wav", "", ""},
      {"one account: the error sound once a run", {""},
       {{0, Failure(kCheckStatFailed)}, {0, Failure(kCheckResolveFailed)}}, IDI_NOTCONNECTED,
       "Couldn't resolve POP3 name!", "", "", ""},
      {"one account: a rejection is boxed once", {""},
       {{0, Failure(kCheckPassRejected)}, {0, Failure(kCheckPassRejected)}}, IDI_NOTCONNECTED,
       "Incorrect password or user name!", "", "", ""},
      {"one account: a sign-in not kept is said in place of the count", {""},
       {{0, Advised(Count(2, 2), Advice::kSignInNotKept)}}, IDI_NEWMAIL,
       "Sign-in is not kept: this Windows account cannot store it", "new.wav",
       "You have 2 messages waiting", "2 new messages"},
      {"several: a sign-in needed makes no check and no sound", {"Home", "Work"},
       {{0, Held(OutcomeKind::kSignInNeeded)}},
       IDI_NOTCONNECTED, "Home: Sign-in needed: right-click, Server options\nWork: Not connected",
       "", "", ""},
      {"several: any mail raises the flag", {"Home", "Work"},
       {{0, Failure(kCheckConnectFailed)}, {1, Count(2, 2)}}, IDI_NEWMAIL,
       "Home: Couldn't connect to POP3 server!\nWork: 2 waiting", "new.wav",
       "You have 2 messages waiting\nWork: 2", "2 new messages"},
      {"several: no mail and a failure cross it out", {"Home", "Work"},
       {{0, Count(0)}, {1, Failure(kCheckConnectFailed)}}, IDI_NOTCONNECTED,
       "Home: none\nWork: Couldn't connect to POP3 server!", "err.wav", "", ""},
      {"several: no mail anywhere", {"Home", "Work"}, {{0, Count(0)}, {1, Count(0)}}, IDI_NOMAIL,
       "Home: none\nWork: none", "none.wav", "", ""},
      {"several: one still pending keeps the picture", {"Home", "Work"}, {{0, Count(0)}}, 0,
       "Home: none\nWork: Not connected", "none.wav", "", ""},
      {"several: a rejection names its account", {"Home", "Work"},
       {{1, Failure(kCheckPassRejected)}}, IDI_NOTCONNECTED,
       "Home: Not connected\nWork: Incorrect password or user name!", "err.wav",
       "Work: Incorrect password or user name!", ""},
      {"several: the tip is cut at a line end", {std::string(60, 'a'), std::string(60, 'b'), "c"},
       {{0, Count(0)}}, 0, std::string(60, 'a') + ": none\nand 2 more", "none.wav", "", ""},
      {"several: balloon lines name their account", {"Home", "Work"},
       {{0, Count(1, 1, {{"Ann", "Hi"}})}}, IDI_NEWMAIL, "Home: 1 waiting\nWork: Not connected",
       "new.wav", "You have 1 message waiting\nHome: 1", "[Home] Ann: Hi"},
      {"one account: the balloon's limits, its text safe to show", {""},
       {{0, Count(4, 4,
                  {{std::string(40, 'x'), clef + std::string(100, 'y')},
                   {"", ""},
                   {"Eve\xE2\x80\xAE", "\xE2\x80\xA8\xC2\x85"}})}},
       IDI_NEWMAIL, "You have 4 messages waiting", "new.wav", "You have 4 messages waiting",
       std::string(40, 'x') + ": " + clef + std::string(31, 'y') + "\nEve\nand 2 more"},
  };
  for (const Row& row : rows) {
    std::vector<AccountView> accounts = Accounts(row.names);
    Announcement told;
    for (const auto& [index, outcome] : row.arrivals) {
      told = Decide(accounts, {{index, outcome}}, Sounds(), false);
      for (size_t i = 0; i < accounts.size(); ++i) accounts[i].memory = told.remembered[i];
    }
    EXPECT_EQ(row.picture, told.picture) << row.what;
    EXPECT_EQ(row.tip, told.tip) << row.what;
    EXPECT_EQ(row.sound, told.sound.value_or(told.errorSound.value_or(""))) << row.what;
    EXPECT_EQ(row.box, told.boxes.empty() ? "" : told.boxes.back().text) << row.what;
    EXPECT_EQ(row.balloon, told.balloonText) << row.what;
  }
}

TEST(Presentation, SwitchesAndAnOpenBox) {
  const CheckOutcome news = Count(4, 4, {{"Ann", "Hi"}});
  const std::vector<AccountView> one = Accounts({""});
  MailSettings settings = Sounds();
  settings.showSender = false;
  EXPECT_EQ("4 new messages", Decide(one, {{0, news}}, settings, false).balloonText);
  settings.showNotification = false;
  EXPECT_TRUE(Decide(one, {{0, news}}, settings, false).balloonTitle.empty());
  EXPECT_FALSE(Decide(one, {{0, Count(4)}}, settings, false).sound);
  settings.announceOnlyNew = false;
  EXPECT_TRUE(Decide(one, {{0, Count(4)}}, settings, false).sound);
  const Announcement open = Decide(one, {{0, news}}, Sounds(), true);
  EXPECT_TRUE(open.boxes.empty()) << "no second count box while one is open";
  EXPECT_EQ("Ann: Hi\nand 3 more", open.balloonText) << "the news goes to the balloon";
  CheckOutcome refused;
  refused.kind = OutcomeKind::kUserRejected;
  EXPECT_EQ(std::vector<size_t>{0}, Decide(one, {{0, refused}}, Sounds(), true).inBox)
      << "a refused user name's box closes before its QUIT, a count box open or not";
  const Announcement look = Decide(one, {{0, news}}, Sounds(), false, false);
  EXPECT_EQ(IDI_NEWMAIL, look.picture);
  EXPECT_FALSE(look.sound || !look.boxes.empty()) << "only the picture and tooltip";
}

// Outcomes of one trigger wait for each other up to the window.
TEST(Gathering, HoldsNewsUntilItsTriggerIsCompleteOrItsWindowPassed) {
  Gathering gathering;
  const auto start = std::chrono::steady_clock::now();
  gathering.Begin({1, 2, 3});
  AccountOutcome first{1, 1, false, Count(1, 1)};
  EXPECT_TRUE(gathering.Arrive(first, true, start).empty());
  EXPECT_TRUE(gathering.Arrive({2, 1, false, Count(0)}, false, start).empty());
  EXPECT_TRUE(gathering.Due(start + std::chrono::milliseconds(1999)).empty());
  EXPECT_EQ(1u, gathering.Due(start + Gathering::kWindow).size());
  EXPECT_FALSE(gathering.Holding());
  gathering.Begin({4, 5});
  EXPECT_TRUE(gathering.Arrive({4, 1, false, Count(1, 1)}, true, start).empty());
  EXPECT_EQ(2u, gathering.Arrive({5, 1, false, Count(2, 2)}, true, start).size())
      << "the last of a trigger releases them all";
  EXPECT_EQ(1u, gathering.Arrive({6, 1, true, Count(1, 1)}, true, start).size())
      << "an outcome of no trigger is told at once";
}

}  // namespace
