#include "check/connection.h"

#include "log/event_log.h"

namespace {

// The server reached and what it asks for, for the log.
std::string Described(const ServerAddress& address) {
  const char* startTls =
      address.protocol == ServerProtocol::kImap ? " with STARTTLS" : " with STLS";
  return "server " + address.host + " port " + std::to_string(address.port) +
         (address.security == ServerSecurity::kTls        ? " over TLS"
          : address.security == ServerSecurity::kStartTls ? startTls
                                                          : "");
}

}  // namespace

Connection::~Connection() {
  if (m_bSocketOpen) m_transport.CloseSocket();
  if (m_bStarted) m_transport.Cleanup();
}

CheckResult Connection::Open(const std::string& server, ServerProtocol protocol,
                             ServerAddress& address, const Deadline& limit, EventLog* log) {
  if (!m_transport.Startup()) return kCheckSocketsStartFailed;
  m_bStarted = true;
  if (!ParseServerAddress(server, address) || address.protocol != protocol) {
    address = ServerAddress();
    return kCheckResolveFailed;
  }
  if (log) log->Add(Described(address));
  if (!m_transport.Resolve(address.host, address.port, limit.MsLeft())) return kCheckResolveFailed;
  m_bSocketOpen = true;
  switch (m_transport.Connect(limit.MsLeft())) {
    case ConnectResult::kConnected:
      break;
    case ConnectResult::kNoSocket:
      return kCheckSocketFailed;
    case ConnectResult::kFailed:
      return kCheckConnectFailed;
  }
  return address.security == ServerSecurity::kTls
             ? Secure(m_transport, address.host, limit.MsLeft())
             : kCheckCompleted;
}

CheckResult Connection::Close() {
  m_bSocketOpen = false;
  if (!m_transport.CloseSocket()) return kCheckCloseFailed;
  m_bStarted = false;
  if (!m_transport.Cleanup()) return kCheckCleanupFailed;
  return kCheckCompleted;
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

void LogConnectionNote(Transport& transport, EventLog* log) {
  const std::string note = log ? transport.Note() : std::string();
  if (!note.empty()) log->Add(note);
}
