// The IMAP conversation over real loopback TCP against a scripted server: one
// row per rule. Each row opens a session as a check does, then waits in IDLE
// where the row expects push, and ends; it must end in one clear outcome,
// within its limits, with nothing sent that should not be.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <map>
#include <optional>

#include "check/imap/imap_session.h"
#include "log/event_log.h"
#include "platform/posix/posix_transport.h"
#include "script_server.h"
#include "tests/double/fake_platform.h"

namespace {

using Lines = std::vector<std::string>;
using Clock = std::chrono::steady_clock;

constexpr int kReplyMs = 300;
constexpr int kIdleMs = 1000;
const char kPassword[] = "s3cr3t";
const std::string kHi = "* OK [CAPABILITY IMAP4rev1] hi\r\n";
const std::string kIn = "a1 OK [CAPABILITY IMAP4rev1] in\r\n";
const std::string kExamine =
    "* 3 EXISTS\r\n* OK [UIDVALIDITY 7] v\r\n* OK [UIDNEXT 4] n\r\n* OK [UNSEEN 1] first\r\n";
const std::string kHeaders =
    "* 3 FETCH (UID 3 BODY[HEADER.FIELDS (FROM SUBJECT DATE)] {18}\r\nSubject: Three\r\n\r\n)\r\n"
    "* 1 FETCH (BODY[HEADER.FIELDS (FROM SUBJECT DATE)] {16}\r\nSubject: One\r\n\r\n UID 1)\r\n";
const std::string kLogin = std::string("a1 LOGIN \"alice\" \"") + kPassword + "\"";
const std::string kFetch = " UID FETCH 3,1 BODY.PEEK[HEADER.FIELDS (FROM SUBJECT DATE)]";

struct ImapCase {
  std::string name;
  // The greeting, then what answers each line the client sends: "" answers
  // nothing, "<stall>" sends nothing more, and "<close>" at the end of an
  // answer closes the connection after it.
  Lines talk;
  std::string expected;
  Lines sent;
  std::optional<IdleEnd> idle = std::nullopt;
  std::string scheme = "imap";
  std::string password = kPassword;
  std::string user = "alice";
  int renewalMs = 10 * 60 * 1000;
  int replyMs = kReplyMs;
};

void PrintTo(const ImapCase& row, std::ostream* out) { *out << row.name; }

std::vector<ScriptStep> Script(const Lines& talk) {
  std::vector<ScriptStep> steps;
  for (std::string part : talk) {
    if (!steps.empty()) steps.push_back(ScriptStep::Expect());
    if (part == "<stall>") {
      steps.push_back(ScriptStep::Stall());
      return steps;
    }
    const size_t close = part.find("<close>");
    if (close != std::string::npos) part.resize(close);
    if (!part.empty()) steps.push_back(ScriptStep::Send(part));
    if (close != std::string::npos) return steps;
  }
  steps.push_back(ScriptStep::Expect());
  return steps;
}

std::string Described(const CheckOutcome& outcome) {
  if (outcome.kind == OutcomeKind::kMailboxCount) {
    std::string text = "count " + outcome.countText + " new " + std::to_string(outcome.newCount);
    for (const MailSummary& mail : outcome.newest) text += " '" + mail.subject + "'";
    return text;
  }
  if (outcome.kind == OutcomeKind::kSecureFailed)
    return "insecure " + std::to_string(outcome.result);
  const std::map<OutcomeKind, std::string> kinds = {{OutcomeKind::kPasswordRejected, "rejected"},
                                                    {OutcomeKind::kConnectFailed, "unreachable"},
                                                    {OutcomeKind::kLoginDisabled, "login disabled"},
                                                    {OutcomeKind::kLoginUnsendable, "unsendable"}};
  if (outcome.advice != Advice::kNone) return "advised " + outcome.refusal;
  const auto kind = kinds.find(outcome.kind);
  return kind != kinds.end() ? kind->second : "failed " + std::to_string(outcome.result);
}

Lines Then(Lines lines, const Lines& more) {
  lines.insert(lines.end(), more.begin(), more.end());
  return lines;
}

// Logged in, INBOX examined, and then more.
Lines Counted(const std::string& greeting, const std::string& loggedIn, const Lines& more) {
  return Then({greeting, loggedIn, kExamine + "a2 OK [READ-ONLY] done\r\n"}, more);
}

// Counted with IDLE listed, two unseen messages with their headers, then more.
Lines Idled(const Lines& more) {
  return Counted(kHi, "a1 OK [CAPABILITY IMAP4rev1 IDLE] in\r\n",
                 Then({"* SEARCH 1 3\r\na3 OK\r\n", kHeaders + "a4 OK\r\n"}, more));
}

std::vector<ImapCase> Cases() {
  const std::string search = "* SEARCH 1 3\r\na3 OK\r\n";
  const std::string counted = "count 2 new 2 'Three' 'One'";
  const Lines examined = {kLogin, "a2 EXAMINE INBOX"};
  const Lines searched = Then(examined, {"a3 UID SEARCH UNSEEN"});
  const Lines fetched = Then(searched, {"a4" + kFetch});
  const Lines idled = Then(fetched, {"a5 IDLE"}), done = Then(idled, {"DONE"});
  const std::string big = std::string(70000, 's');
  std::string longSearch = "* SEARCH";
  for (int uid = 1; longSearch.size() < 300 * 1024; ++uid) longSearch += " " + std::to_string(uid);
  const std::string literalPlus = "* OK [CAPABILITY IMAP4rev1 LITERAL+] hi\r\n";
  const char* starttls = "imap+starttls";
  // clang-format off
  return {
    {"no IDLE: polled; no ESEARCH; [UNSEEN] no count",
     Counted(kHi, kIn, {search, kHeaders + "a4 OK\r\n"}), counted, Then(fetched, {"a5 LOGOUT"})},
    {"with ESEARCH, the count from the server",
     Counted(literalPlus, "a1 OK [CAPABILITY IMAP4rev1 ESEARCH] in\r\n",
             {"* ESEARCH (TAG \"a3\") UID COUNT 2\r\na3 OK\r\n", "* SEARCH 3 1\r\na4 OK\r\n",
              kHeaders + "a5 OK\r\n"}),
     counted, Then(examined, {"a3 UID SEARCH RETURN (COUNT) UNSEEN",
                              "a4 UID SEARCH UNSEEN UID 1:*", "a5" + kFetch, "a6 LOGOUT"})},
    {"capabilities asked for when the greeting has none",
     {"* OK hi\r\n", "* CAPABILITY IMAP4rev1\r\na1 OK\r\n", "a2 OK [CAPABILITY X] in\r\n",
      "a3 NO no such\r\n"},
     "failed 20", {"a1 CAPABILITY", "a2 LOGIN \"alice\" \"s3cr3t\"", "a3 EXAMINE INBOX"}},
    {"capabilities asked for after log-in",
     {kHi, "a1 OK in\r\n", "* CAPABILITY IMAP4rev1\r\na2 OK\r\n", "a3 NO\r\n"}, "failed 20",
     {kLogin, "a2 CAPABILITY", "a3 EXAMINE INBOX"}},
    {"PREAUTH on imap://",
     {"* PREAUTH [CAPABILITY IMAP4rev1] hi\r\n", kExamine + "a1 OK\r\n", "a2 BAD\r\n"},
     "failed 20", {"a1 EXAMINE INBOX", "a2 UID SEARCH UNSEEN"}},
    {"PREAUTH on imap+starttls:// sends nothing", {"* PREAUTH hi\r\n"}, "insecure 15", {}, {},
     starttls},
    {"STARTTLS missing", {kHi, "* CAPABILITY IMAP4rev1\r\na1 OK\r\n"}, "insecure 15",
     {"a1 CAPABILITY"}, {}, starttls},
    {"STARTTLS refused", {kHi, "* CAPABILITY IMAP4rev1 STARTTLS\r\na1 OK\r\n", "a2 NO\r\n"},
     "insecure 15", {"a1 CAPABILITY", "a2 STARTTLS"}, {}, starttls},
    {"LOGINDISABLED without TLS sends nothing",
     {"* OK [CAPABILITY IMAP4rev1 STARTTLS LOGINDISABLED] hi\r\n"}, "login disabled", {}},
    {"BYE at the greeting", {"* BYE too busy\r\n"}, "unreachable", {}},
    {"no greeting", {"<stall>"}, "unreachable", {}},
    {"NO [UNAVAILABLE] to LOGIN", {kHi, "a1 NO [UNAVAILABLE] later\r\n"}, "failed 19", {kLogin}},
    {"NO to LOGIN", {kHi, "a1 NO [AUTHENTICATIONFAILED] no\r\n"}, "rejected", {kLogin}},
    {"BAD to LOGIN", {kHi, "a1 BAD\r\n"}, "rejected", {kLogin}},
    {"the words of a refusal advise",
     {kHi, "a1 NO [ALERT] Application-specific password required: https://x\r\n"},
     "advised NO [ALERT] Application-specific password required: https://x", {kLogin}},
    {"LOGIN unanswered", {kHi, "<stall>"}, "failed 19", {kLogin}},
    {"LOGIN answered with another tag", {kHi, "a7 OK\r\n"}, "failed 19", {kLogin}},
    {"quotes and backslashes are escaped", {kHi, "a1 NO\r\n"}, "rejected",
     {"a1 LOGIN \"a\\\"l\\\\ice\" \"s3cr3t\""}, {}, "imap", kPassword, "a\"l\\ice"},
    {"a password above 0x7F waits for the continuation", {kHi, "+ go\r\n", "a1 NO\r\n"},
     "rejected", {"a1 LOGIN \"alice\" {7}", "pässwd"}, {}, "imap", "pässwd"},
    {"no continuation for the literal", {kHi, "<stall>"}, "failed 19",
     {"a1 LOGIN \"alice\" {7}"}, {}, "imap", "pässwd"},
    {"with LITERAL+ the literal goes at once", {literalPlus, "", "a1 NO\r\n"}, "rejected",
     {"a1 LOGIN \"alice\" {7+}", "pässwd"}, {}, "imap", "pässwd"},
    {"a line break in the password is never sent", {kHi}, "unsendable", {}, {}, "imap",
     "a\r\nb"},
    {"a header literal above 64 KiB is dropped",
     Counted(kHi, kIn, {"* SEARCH 3\r\na3 OK\r\n",
                        "* 3 FETCH (UID 3 BODY[HEADER.FIELDS (FROM)] {70000}\r\n" + big +
                            ")\r\na4 OK\r\n"}),
     "count 1 new 1 ''",
     Then(searched, {"a4 UID FETCH 3 BODY.PEEK[HEADER.FIELDS (FROM SUBJECT DATE)]",
                     "a5 LOGOUT"})},
    {"any other literal above 64 KiB fails the step",
     {kHi, kIn, "* LIST () \"/\" {70000}\r\n" + big + "\r\n"}, "failed 20", examined},
    {"a literal cut short fails the step",
     Counted(kHi, kIn, {search, "* 3 FETCH (UID 3 BODY[] {99999}\r\nsss", "<stall>"}),
     "failed 20", fetched},
    {"a search line of 300 KB", Counted(kHi, kIn, {longSearch + "\r\na3 OK\r\n", "a4 OK\r\n"}),
     "count 53050 new 53050",
     Then(searched, {"a4 UID FETCH 53050,53049,53048 BODY.PEEK[HEADER.FIELDS (FROM SUBJECT "
                     "DATE)]", "a5 LOGOUT"}),
     std::nullopt, "imap", kPassword, "alice", 10 * 60 * 1000, 10 * kReplyMs},
    {"a malformed answer fails the step", Counted(kHi, kIn, {"* SEARCH 1 x\r\na3 OK\r\n"}),
     "failed 20", searched},

    {"a change told in IDLE", Idled({"+ idling\r\n* 4 EXISTS\r\n", "a5 OK\r\n"}), counted,
     Then(done, {"a6 LOGOUT"}), IdleEnd::kChanged},
    {"a flag change told in IDLE",
     Idled({"+ idling\r\n* OK still here\r\n* 2 FETCH (FLAGS ())\r\n", "a5 OK\r\n"}), counted,
     Then(done, {"a6 LOGOUT"}), IdleEnd::kChanged},
    {"a change told with another answer",
     Counted(kHi, "a1 OK [CAPABILITY IDLE] in\r\n",
             {"* 1 FETCH (FLAGS (\\Seen))\r\n" + search, kHeaders + "a4 OK\r\n"}),
     counted, Then(fetched, {"a5 LOGOUT"}), IdleEnd::kChanged},
    {"nothing told in IDLE", Idled({"+ idling\r\n", "a5 OK\r\n"}), counted,
     Then(done, {"a6 LOGOUT"}), IdleEnd::kTimeUp},
    {"a renewal with no answer", Idled({"+ idling\r\n", "<stall>"}), counted, done,
     IdleEnd::kEnded, "imap", kPassword, "alice", kIdleMs / 3},
    {"BYE in IDLE", Idled({"+ idling\r\n* BYE shutting down\r\n<close>"}), counted, idled,
     IdleEnd::kEnded},
    {"closed in IDLE", Idled({"+ idling\r\n<close>"}), counted, idled, IdleEnd::kEnded},
    {"IDLE refused", Idled({"a5 BAD\r\n"}), counted, Then(idled, {"a6 LOGOUT"}),
     IdleEnd::kRefused},
  };
  // clang-format on
}

class ImapCheckTest : public ::testing::TestWithParam<ImapCase> {};

TEST_P(ImapCheckTest, EndsInOneClearOutcome) {
  const ImapCase& row = GetParam();
  ScriptServer server;
  std::promise<void> over;
  std::future<void> ended = over.get_future();
  server.OnConnectionEnd([&over] { over.set_value(); });
  ASSERT_TRUE(server.Start(Script(row.talk)));
  FakePlatform platform;
  EventLog log(platform.GetServices().files, platform.GetServices().clock, "C:\\log.txt");
  const std::unique_ptr<Transport> transport = CreatePosixTransport();
  ImapTimes times;
  times.replyMs = row.replyMs;
  times.renewalMs = row.renewalMs;
  const MailAccount account{row.scheme + "://127.0.0.1:" + std::to_string(server.Port()), row.user,
                            row.password};
  ImapSession session(*transport, account, NewMailBasis(), &log, times);

  const auto started = Clock::now();
  EXPECT_EQ(row.expected, Described(session.Open()));
  EXPECT_EQ(row.idle.has_value(), session.CanIdle());
  const IdleEnd none = IdleEnd::kStopped;
  EXPECT_EQ(row.idle.value_or(none), row.idle ? session.Idle(kIdleMs) : none);
  session.LogOut();
  EXPECT_LT(Clock::now() - started, std::chrono::milliseconds(kIdleMs + 8 * row.replyMs))
      << "no hang";
  // What the client sent last is in the transcript once the server has seen it close.
  if (row.talk.size() > 1) ended.wait_for(std::chrono::seconds(5));
  server.Stop();
  EXPECT_EQ(row.sent, server.Transcript());
  log.Flush();
  EXPECT_EQ(std::string::npos, platform.files["C:\\log.txt"].find(row.password.substr(0, 4)))
      << "the password never shows in the log";
}

INSTANTIATE_TEST_SUITE_P(Rules, ImapCheckTest, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<ImapCase>& param) {
                           std::string name;
                           for (char c : param.param.name)
                             name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           return name;
                         });

}  // namespace
