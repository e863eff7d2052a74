#pragma once

#include <cstdint>
#include <string>

// Reaching the server (lookup, connects and handshake together) may take no
// longer than this, nor may any one reply after it.
constexpr int kNetworkTimeoutMs = 30000;

// How connecting ended: each failure is a step of its own for the conversation.
enum class ConnectResult {
  kConnected,
  kNoSocket,  // no socket could be created for any address
  kFailed,    // no address answered in time
};

// How making the connection secure ended.
enum class SecureResult {
  kSecured,          // encrypted, and the server's certificate is trusted for its name
  kHandshakeFailed,  // no secure connection could be made
  kUntrusted,        // the certificate does not verify: nothing of the user's may be sent
};

// A byte stream to one server. Each step mirrors one stage of a connection,
// so that the conversation can tell exactly which step failed. Once secured,
// Send and Receive carry the same bytes as before, encrypted on the wire.
class Transport {
 public:
  virtual ~Transport() = default;

  // Starts the sockets layer for this connection.
  virtual bool Startup() = 0;
  // Looks up every address of host for port, within timeoutMs; a literal
  // address is taken as it is. False when there is none.
  virtual bool Resolve(const std::string& host, uint16_t port, int timeoutMs) = 0;
  // Tries the resolved addresses in turn, each with a socket of its own,
  // until one accepts; each try gives up after timeoutMs.
  virtual ConnectResult Connect(int timeoutMs) = 0;
  // Runs the TLS handshake on the connection and verifies the server's
  // certificate for serverName, all within timeoutMs. Bytes the server sent
  // along with the end of the handshake are kept for Receive.
  virtual SecureResult StartSecure(const std::string& serverName, int timeoutMs) = 0;
  // Turns TCP keep-alive on for the connection: a first probe after idleS
  // seconds without traffic, then one every intervalS seconds, so that a
  // connection held open through a router that forgets it is noticed.
  virtual bool KeepAlive(int idleS, int intervalS) = 0;
  // Sends all of bytes, or fails (also after timeoutMs without progress).
  virtual bool Send(const std::string& bytes, int timeoutMs) = 0;
  // Waits up to timeoutMs for bytes: the count received, 0 when the peer has
  // closed, -1 on an error or when the time ran out. timeoutMs 0 only polls.
  virtual int Receive(char* buffer, int capacity, int timeoutMs) = 0;
  // True once the server, renegotiating, presented a certificate that does
  // not verify; the step that was waiting has then failed.
  virtual bool TrustLost() { return false; }
  // For the log: the addresses tried and the one connected, then the TLS
  // protocol and the server certificate's subject, as far as they are known.
  virtual std::string Note() { return std::string(); }
  // Makes a Receive waiting in another thread give up at once (-1), and every
  // later one until ResumeReceive, without ending the connection: Send still
  // works. May be called from any thread.
  virtual void InterruptReceive() = 0;
  // Lets Receive wait again after InterruptReceive; called by the thread
  // that receives.
  virtual void ResumeReceive() = 0;
  // Ends the connection at once. May be called from any thread: a Connect,
  // StartSecure, Send or Receive waiting in another thread then fails
  // promptly, and so does every later one.
  virtual void Abort() = 0;
  // Closes the socket; safe to call when none is open.
  virtual bool CloseSocket() = 0;
  // Releases what Startup took.
  virtual bool Cleanup() = 0;
};
