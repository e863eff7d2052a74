#include "check/pop3/pop3_check.h"

#include <functional>
#include <optional>

#include "check/connection.h"
#include "check/login_forms.h"
#include "check/pop3/pop3_channel.h"
#include "check/signin/xoauth2.h"
#include "log/event_log.h"
#include "platform/deadline.h"
#include "check/decimal.h"

namespace {

// A log-in the server refused with reply.
CheckOutcome RefusedWith(CheckResult result, const std::string& reply) {
  CheckOutcome refused = FailedAt(result);
  refused.refusal = reply;
  return refused;
}

// One USER and PASS; kEnded when logged in.
CheckOutcome LoginAs(Pop3Channel& channel, const std::string& user, const std::string& password) {
  std::string reply;
  if (!channel.SendCommand("USER " + user)) return FailedAt(kCheckUserFailed);
  const ReplyStatus userStatus = channel.ReadReply(reply);
  if (userStatus == ReplyStatus::kNone) return FailedAt(kCheckUserFailed);
  if (userStatus == ReplyStatus::kNegative) {
    CheckOutcome rejected;
    rejected.kind = OutcomeKind::kUserRejected;
    rejected.refusal = reply;
    return rejected;
  }
  if (!channel.SendCommand("PASS " + password)) return FailedAt(kCheckPassFailed);
  const ReplyStatus pass = channel.ReadReply(reply);
  if (pass == ReplyStatus::kNone) return FailedAt(kCheckPassFailed);
  if (pass == ReplyStatus::kNegative) return RefusedWith(kCheckPassRejected, reply);
  return CheckOutcome();
}

// AUTH XOAUTH2, "+", then the payload on a line of its own: the initial
// response in the command (RFC 5034) is not for POP3 here, as not every
// server takes it. kEnded when logged in.
CheckOutcome Xoauth2Login(Pop3Channel& channel, const MailAccount& account) {
  std::string reply;
  if (!channel.SendCommand("AUTH XOAUTH2")) return FailedAt(kCheckPassFailed);
  if (channel.ReadReply(reply) == ReplyStatus::kNone) return FailedAt(kCheckPassFailed);
  const std::string payload = Xoauth2Payload(account.user, account.accessToken);
  std::string line;
  for (int continuation = 0;
       IsSaslContinuation(reply) && AnswerContinuation(continuation, false, payload, line);
       ++continuation) {
    if (!channel.SendSaslLine(line) || channel.ReadReply(reply) == ReplyStatus::kNone)
      return FailedAt(kCheckPassFailed);
  }
  if (ClassifyReply(reply) == ReplyStatus::kPositive) return CheckOutcome();
  return RefusedWith(kCheckTokenRefused, reply);
}

// Whatever came in plain text along with the STLS reply is dropped with the
// channel's buffer at the next command, so nothing injected before the
// handshake is ever taken as a reply from inside TLS.
CheckResult StartTls(Transport& transport, Pop3Channel& channel, const std::string& host,
                     int timeoutMs, const CheckBudget& budget) {
  std::string reply;
  if (!channel.SendCommand("STLS")) return kCheckSecureFailed;
  switch (channel.ReadReply(reply)) {
    case ReplyStatus::kPositive:
      return Secure(transport, host, budget.Limit(timeoutMs));
    case ReplyStatus::kNegative:
      return kCheckStlsRefused;
    case ReplyStatus::kNone:
      break;
  }
  return kCheckSecureFailed;
}

CheckOutcome Stat(Pop3Channel& channel) {
  std::string reply;
  if (!channel.SendCommand("STAT")) return FailedAt(kCheckStatFailed);
  const ReplyStatus status = channel.ReadReply(reply);
  if (status == ReplyStatus::kNone) return FailedAt(kCheckStatFailed);
  CheckOutcome counted;
  if (status == ReplyStatus::kNegative || !StatCountField(reply, counted.countText))
    return FailedAt(kCheckStatRejected);
  counted.kind = OutcomeKind::kMailboxCount;
  counted.count = ParseDecimal(counted.countText);
  return counted;
}

}  // namespace

bool StatCountField(const std::string& reply, std::string& countText) {
  const size_t firstEnd = reply.find(' ');
  if (firstEnd == std::string::npos) return false;
  const size_t start = reply.find_first_not_of(' ', firstEnd);
  if (start == std::string::npos) return false;
  const size_t end = reply.find(' ', start);
  countText = reply.substr(start, end == std::string::npos ? std::string::npos : end - start);
  return true;
}

namespace {

// Connected, secured as the server text asks, and greeted: ready for USER.
CheckResult Reach(Transport& transport, Connection& connection, const std::string& server,
                  int timeoutMs, const CheckBudget& budget, EventLog* log,
                  std::optional<Pop3Channel>& channel) {
  ServerAddress address;
  // Reaching the server, its handshake included, is one step with one limit
  // however many addresses the name has; after it each reply has its own.
  const CheckResult result = connection.Open(server, ServerProtocol::kPop3, address,
                                             Deadline(budget.Limit(timeoutMs)), log);
  if (result != kCheckCompleted) return result;

  channel.emplace(transport, timeoutMs, log, &budget);
  std::string greeting;
  // A server that does not greet, or greets with a refusal, has not let us in.
  if (channel->ReadReply(greeting) != ReplyStatus::kPositive) return kCheckConnectFailed;
  if (address.security == ServerSecurity::kStartTls)
    return StartTls(transport, *channel, address.host, timeoutMs, budget);
  return kCheckCompleted;
}

// As Reach; the log then gets the addresses tried and the TLS in use.
CheckResult OpenSession(Transport& transport, Connection& connection, const std::string& server,
                        int timeoutMs, const CheckBudget& budget, EventLog* log,
                        std::optional<Pop3Channel>& channel) {
  const CheckResult result = Reach(transport, connection, server, timeoutMs, budget, log, channel);
  LogConnectionNote(transport, log);
  return result;
}

CheckOutcome Converse(Transport& transport, const MailAccount& account, int timeoutMs,
                      OutcomeHandover& handover, const NewMailBasis& basis, EventLog* log,
                      int ceilingMs) {
  const bool token = !account.accessToken.empty();
  if (token && !TokenMayGoTo(account.server, account.tokenHosts))
    return FailedAt(kCheckTokenNotAllowed);
  CheckBudget budget(ceilingMs);
  Connection connection(transport);
  std::optional<Pop3Channel> channel;
  CheckResult result =
      OpenSession(transport, connection, account.server, timeoutMs, budget, log, channel);
  if (result != kCheckCompleted) return FailedAt(result);

  const auto reconnect = [&] {
    connection.Close();
    return OpenSession(transport, connection, account.server, timeoutMs, budget, log, channel) ==
           kCheckCompleted;
  };
  LoginForm form = LoginForm::kUnknown;
  const auto logInAs = [&channel](const std::string& user, const std::string& password) {
    return LoginAs(*channel, user, password);
  };
  CheckOutcome told = token ? Xoauth2Login(*channel, account)
                            : LogInWithForms(account, logInAs, reconnect, kCheckUserFailed, form);
  Advise(told, account.server);
  if (told.kind == OutcomeKind::kEnded) {
    told = Stat(*channel);
    told.loginForm = form;
  }
  if (told.result != kCheckCompleted) return told;
  // A header reply cut short leaves the conversation out of step: the count
  // is told all the same, and the connection closed without QUIT.
  const bool inStep = told.kind != OutcomeKind::kMailboxCount || FindNewMail(*channel, basis, told);
  // The user may take a while with the count box: that time is not the server's.
  budget.Pause();
  handover.PresentBeforeQuit(told);
  budget.Resume();
  if (inStep && !channel->SendCommand("QUIT")) return FailedAt(kCheckQuitFailed);
  result = connection.Close();
  return result == kCheckCompleted ? CheckOutcome() : FailedAt(result);
}

}  // namespace

CheckOutcome RunMailCheck(Transport& transport, const MailAccount& account, int timeoutMs,
                          OutcomeHandover& handover, const NewMailBasis& basis, EventLog* log,
                          int ceilingMs) {
  CheckOutcome outcome = Converse(transport, account, timeoutMs, handover, basis, log, ceilingMs);
  // A certificate that stops verifying when the server renegotiates makes it
  // untrusted, whichever step that cut short.
  if (outcome.result != kCheckCompleted && transport.TrustLost()) return FailedAt(kCheckUntrusted);
  Advise(outcome, account.server);
  return outcome;
}
