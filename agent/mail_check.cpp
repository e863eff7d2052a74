#include "agent/mail_check.h"

#include "agent/pop3_channel.h"
#include "agent/server_address.h"
#include "settings/decimal.h"

namespace {

// Whatever ends the conversation early, the socket is closed and the sockets
// layer released without changing the result.
class Connection {
 public:
  explicit Connection(Transport& transport) : m_transport(transport) {}
  ~Connection() {
    if (m_bSocketOpen) m_transport.CloseSocket();
    if (m_bStarted) m_transport.Cleanup();
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Text that names no server (an empty one would be this machine itself)
  // never reaches the network.
  CheckResult Open(const std::string& server, ServerAddress& address, int timeoutMs) {
    if (!m_transport.Startup()) return kCheckSocketsStartFailed;
    m_bStarted = true;
    if (!ParseServerAddress(server, address) ||
        !m_transport.Resolve(address.host, address.port, timeoutMs))
      return kCheckResolveFailed;
    m_bSocketOpen = true;
    switch (m_transport.Connect(timeoutMs)) {
      case ConnectResult::kConnected:
        return kCheckCompleted;
      case ConnectResult::kNoSocket:
        return kCheckSocketFailed;
      case ConnectResult::kFailed:
        break;
    }
    return kCheckConnectFailed;
  }

  CheckResult Close() {
    m_bSocketOpen = false;
    if (!m_transport.CloseSocket()) return kCheckCloseFailed;
    m_bStarted = false;
    if (!m_transport.Cleanup()) return kCheckCleanupFailed;
    return kCheckCompleted;
  }

 private:
  Transport& m_transport;
  bool m_bStarted = false;
  bool m_bSocketOpen = false;
};

// kEnded when logged in.
CheckOutcome Login(Pop3Channel& channel, const Pop3Account& account) {
  std::string reply;
  if (!channel.SendCommand("USER " + account.user)) return FailedAt(kCheckUserFailed);
  const ReplyStatus user = channel.ReadReply(reply);
  if (user == ReplyStatus::kNone) return FailedAt(kCheckUserFailed);
  if (user == ReplyStatus::kNegative) {
    CheckOutcome rejected;
    rejected.kind = OutcomeKind::kUserRejected;
    return rejected;
  }
  if (!channel.SendCommand("PASS " + account.password)) return FailedAt(kCheckPassFailed);
  const ReplyStatus pass = channel.ReadReply(reply);
  if (pass == ReplyStatus::kNone) return FailedAt(kCheckPassFailed);
  if (pass == ReplyStatus::kNegative) return FailedAt(kCheckPassRejected);
  return CheckOutcome();
}

CheckResult Secure(Transport& transport, const std::string& host, int timeoutMs) {
  switch (transport.StartSecure(host, timeoutMs)) {
    case SecureResult::kSecured:
      return kCheckCompleted;
    case SecureResult::kUntrusted:
      return kCheckUntrusted;
    case SecureResult::kHandshakeFailed:
      break;
  }
  return kCheckSecureFailed;
}

// Whatever came in plain text along with the STLS reply is dropped with the
// channel's buffer at the next command, so nothing injected before the
// handshake is ever taken as a reply from inside TLS.
CheckResult StartTls(Transport& transport, Pop3Channel& channel, const std::string& host,
                     int timeoutMs) {
  std::string reply;
  if (!channel.SendCommand("STLS") || channel.ReadReply(reply) != ReplyStatus::kPositive)
    return kCheckSecureFailed;
  return Secure(transport, host, timeoutMs);
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

CheckOutcome FailedAt(CheckResult result) {
  CheckOutcome outcome;
  outcome.result = result;
  switch (result) {
    case kCheckResolveFailed:
      outcome.kind = OutcomeKind::kResolveFailed;
      break;
    case kCheckConnectFailed:
      outcome.kind = OutcomeKind::kConnectFailed;
      break;
    case kCheckPassRejected:
      outcome.kind = OutcomeKind::kPasswordRejected;
      break;
    case kCheckSecureFailed:
      outcome.kind = OutcomeKind::kSecureFailed;
      break;
    case kCheckUntrusted:
      outcome.kind = OutcomeKind::kUntrusted;
      break;
    default:
      outcome.kind = OutcomeKind::kStepFailed;
      break;
  }
  return outcome;
}

bool StatCountField(const std::string& reply, std::string& countText) {
  const size_t firstEnd = reply.find(' ');
  if (firstEnd == std::string::npos) return false;
  const size_t start = reply.find_first_not_of(' ', firstEnd);
  if (start == std::string::npos) return false;
  const size_t end = reply.find(' ', start);
  countText = reply.substr(start, end == std::string::npos ? std::string::npos : end - start);
  return true;
}

CheckOutcome RunMailCheck(Transport& transport, const Pop3Account& account, int timeoutMs,
                          OutcomeHandover& handover, const NewMailBasis& basis) {
  Connection connection(transport);
  ServerAddress address;
  CheckResult result = connection.Open(account.server, address, timeoutMs);
  if (result == kCheckCompleted && address.security == ServerSecurity::kTls)
    result = Secure(transport, address.host, timeoutMs);
  if (result != kCheckCompleted) return FailedAt(result);

  Pop3Channel channel(transport, timeoutMs);
  std::string greeting;
  // A server that does not greet, or greets with a refusal, has not let us in.
  if (channel.ReadReply(greeting) != ReplyStatus::kPositive) return FailedAt(kCheckConnectFailed);
  if (address.security == ServerSecurity::kStartTls) {
    result = StartTls(transport, channel, address.host, timeoutMs);
    if (result != kCheckCompleted) return FailedAt(result);
  }

  CheckOutcome told = Login(channel, account);
  if (told.kind == OutcomeKind::kEnded) told = Stat(channel);
  if (told.result != kCheckCompleted) return told;
  if (told.kind == OutcomeKind::kMailboxCount) {
    result = FindNewMail(channel, basis, told);
    if (result != kCheckCompleted) return FailedAt(result);
  }
  handover.PresentBeforeQuit(told);
  if (!channel.SendCommand("QUIT")) return FailedAt(kCheckQuitFailed);
  result = connection.Close();
  return result == kCheckCompleted ? CheckOutcome() : FailedAt(result);
}
