#include "check/pop3/pop3_check.h"

#include <functional>
#include <optional>

#include "check/connection.h"
#include "check/decimal.h"
#include "check/pop3/pop3_channel.h"
#include "log/event_log.h"
#include "platform/deadline.h"

namespace {

// One USER and PASS; kEnded when logged in.
CheckOutcome LoginAs(Pop3Channel& channel, const std::string& user, const std::string& password) {
  std::string reply;
  if (!channel.SendCommand("USER " + user)) return FailedAt(kCheckUserFailed);
  const ReplyStatus userStatus = channel.ReadReply(reply);
  if (userStatus == ReplyStatus::kNone) return FailedAt(kCheckUserFailed);
  if (userStatus == ReplyStatus::kNegative) {
    CheckOutcome rejected;
    rejected.kind = OutcomeKind::kUserRejected;
    return rejected;
  }
  if (!channel.SendCommand("PASS " + password)) return FailedAt(kCheckPassFailed);
  const ReplyStatus pass = channel.ReadReply(reply);
  if (pass == ReplyStatus::kNone) return FailedAt(kCheckPassFailed);
  if (pass == ReplyStatus::kNegative) return FailedAt(kCheckPassRejected);
  return CheckOutcome();
}

// Whatever came in plain text along with the STLS reply is dropped with the
// channel's buffer at the next command, so nothing injected before the
// handshake is ever taken as a reply from inside TLS.
CheckResult StartTls(Transport& transport, Pop3Channel& channel, const std::string& host,
                     int timeoutMs) {
  std::string reply;
  if (!channel.SendCommand("STLS")) return kCheckSecureFailed;
  switch (channel.ReadReply(reply)) {
    case ReplyStatus::kPositive:
      return Secure(transport, host, timeoutMs);
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
                  int timeoutMs, EventLog* log, std::optional<Pop3Channel>& channel) {
  ServerAddress address;
  // Reaching the server, its handshake included, is one step with one limit;
  // after it each reply has its own.
  const CheckResult result =
      connection.Open(server, ServerProtocol::kPop3, address, Deadline(timeoutMs), log);
  if (result != kCheckCompleted) return result;

  channel.emplace(transport, timeoutMs, log);
  std::string greeting;
  // A server that does not greet, or greets with a refusal, has not let us in.
  if (channel->ReadReply(greeting) != ReplyStatus::kPositive) return kCheckConnectFailed;
  if (address.security == ServerSecurity::kStartTls)
    return StartTls(transport, *channel, address.host, timeoutMs);
  return kCheckCompleted;
}

// As Reach; the log then gets the addresses tried and the TLS in use.
CheckResult OpenSession(Transport& transport, Connection& connection,
                        const std::string& server, int timeoutMs, EventLog* log,
                        std::optional<Pop3Channel>& channel) {
  const CheckResult result = Reach(transport, connection, server, timeoutMs, log, channel);
  LogConnectionNote(transport, log);
  return result;
}

CheckOutcome Converse(Transport& transport, const MailAccount& account, int timeoutMs,
                      OutcomeHandover& handover, const NewMailBasis& basis, EventLog* log) {
  Connection connection(transport);
  std::optional<Pop3Channel> channel;
  CheckResult result =
      OpenSession(transport, connection, account.server, timeoutMs, log, channel);
  if (result != kCheckCompleted) return FailedAt(result);

  const auto reconnect = [&] {
    connection.Close();
    return OpenSession(transport, connection, account.server, timeoutMs, log, channel) ==
           kCheckCompleted;
  };
  LoginForm form = LoginForm::kUnknown;
  const auto logInAs = [&channel](const std::string& user, const std::string& password) {
    return LoginAs(*channel, user, password);
  };
  CheckOutcome told = LogInWithForms(account, logInAs, reconnect, kCheckUserFailed, form);
  if (told.kind == OutcomeKind::kEnded) {
    told = Stat(*channel);
    told.loginForm = form;
  }
  if (told.result != kCheckCompleted) return told;
  if (told.kind == OutcomeKind::kMailboxCount) {
    result = FindNewMail(*channel, basis, told);
    if (result != kCheckCompleted) return FailedAt(result);
  }
  handover.PresentBeforeQuit(told);
  if (!channel->SendCommand("QUIT")) return FailedAt(kCheckQuitFailed);
  result = connection.Close();
  return result == kCheckCompleted ? CheckOutcome() : FailedAt(result);
}

}  // namespace

CheckOutcome RunMailCheck(Transport& transport, const MailAccount& account, int timeoutMs,
                          OutcomeHandover& handover, const NewMailBasis& basis, EventLog* log) {
  const CheckOutcome outcome = Converse(transport, account, timeoutMs, handover, basis, log);
  // A certificate that stops verifying when the server renegotiates makes it
  // untrusted, whichever step that cut short.
  return outcome.result != kCheckCompleted && transport.TrustLost() ? FailedAt(kCheckUntrusted)
                                                                    : outcome;
}
