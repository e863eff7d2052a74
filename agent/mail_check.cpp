#include "agent/mail_check.h"

#include "agent/pop3_channel.h"
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

  CheckResult Open(const std::string& server, int timeoutMs) {
    if (!m_transport.Startup()) return kCheckSocketsStartFailed;
    m_bStarted = true;
    // An empty name would resolve to this machine itself.
    if (server.empty() || !m_transport.Resolve(server, kPop3Port, timeoutMs))
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

CheckResult Login(Pop3Channel& channel, const Pop3Account& account, CheckPresenter& presenter,
                  bool& userRejected) {
  std::string reply;
  if (!channel.SendCommand("USER " + account.user)) return kCheckUserFailed;
  const ReplyStatus user = channel.ReadReply(reply);
  if (user == ReplyStatus::kNone) return kCheckUserFailed;
  if (user == ReplyStatus::kNegative) {
    presenter.OnUserRejected();
    userRejected = true;
    return kCheckCompleted;
  }
  if (!channel.SendCommand("PASS " + account.password)) return kCheckPassFailed;
  const ReplyStatus pass = channel.ReadReply(reply);
  if (pass == ReplyStatus::kNone) return kCheckPassFailed;
  if (pass == ReplyStatus::kNegative) {
    presenter.OnPasswordRejected();
    return kCheckPassRejected;
  }
  return kCheckCompleted;
}

CheckResult Stat(Pop3Channel& channel, CheckPresenter& presenter) {
  std::string reply;
  if (!channel.SendCommand("STAT")) return kCheckStatFailed;
  const ReplyStatus status = channel.ReadReply(reply);
  if (status == ReplyStatus::kNone) return kCheckStatFailed;
  std::string countText;
  if (status == ReplyStatus::kNegative || !StatCountField(reply, countText))
    return kCheckStatRejected;
  presenter.OnMailboxCount(countText, ParseDecimal(countText));
  return kCheckCompleted;
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

CheckResult RunMailCheck(Transport& transport, const Pop3Account& account, int timeoutMs,
                         CheckPresenter& presenter) {
  Connection connection(transport);
  CheckResult result = connection.Open(account.server, timeoutMs);
  if (result == kCheckResolveFailed) presenter.OnResolveFailed();
  if (result == kCheckConnectFailed) presenter.OnConnectFailed();
  if (result != kCheckCompleted) return result;

  Pop3Channel channel(transport, timeoutMs);
  std::string greeting;
  // A server that does not greet, or greets with a refusal, has not let us in.
  if (channel.ReadReply(greeting) != ReplyStatus::kPositive) {
    presenter.OnConnectFailed();
    return kCheckConnectFailed;
  }

  bool userRejected = false;
  result = Login(channel, account, presenter, userRejected);
  if (result != kCheckCompleted) return result;
  if (!userRejected) {
    result = Stat(channel, presenter);
    if (result != kCheckCompleted) return result;
  }
  if (!channel.SendCommand("QUIT")) return kCheckQuitFailed;
  return connection.Close();
}
