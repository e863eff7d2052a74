#pragma once

#include <string>

#include "check/outcome.h"
#include "check/server_address.h"
#include "platform/deadline.h"
#include "platform/transport.h"

class EventLog;

// One check's connection to its server. Whatever ends the conversation early,
// the socket is closed and the sockets layer released without changing the
// result.
class Connection {
 public:
  explicit Connection(Transport& transport) : m_transport(transport) {}
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Looks the server up and connects, then runs the handshake where the text
  // asks for TLS from the first byte, all within limit however many addresses
  // the name has. Text that names no server speaking protocol (an empty one
  // would be this machine itself) never reaches the network. The log gets
  // the server asked.
  CheckResult Open(const std::string& server, ServerProtocol protocol, ServerAddress& address,
                   const Deadline& limit, EventLog* log);
  CheckResult Close();

 private:
  Transport& m_transport;
  bool m_bStarted = false;
  bool m_bSocketOpen = false;
};

// The TLS handshake for host as a step of the conversation.
CheckResult Secure(Transport& transport, const std::string& host, int timeoutMs);

// Writes to the log the addresses tried and the TLS in use, when known.
void LogConnectionNote(Transport& transport, EventLog* log);
