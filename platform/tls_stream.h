#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/deadline.h"
#include "platform/security_provider.h"
#include "platform/transport.h"

// Sends and receives the raw bytes of a connected socket.
class RawChannel {
 public:
  // Sends all of the bytes, or fails (also after timeoutMs without progress).
  virtual bool SendRaw(const char* bytes, size_t count, int timeoutMs) = 0;
  // As Transport::Receive: the count, 0 when the peer closed, -1 otherwise.
  virtual int ReceiveRaw(char* buffer, int capacity, int timeoutMs) = 0;

 protected:
  ~RawChannel() = default;
};

// TLS over a raw channel, with the records and handshake messages done by a
// security provider. The certificate is not left to the provider (some
// accept anything): it is verified once the handshake is done, and again
// after every renegotiation.
class TlsStream {
 public:
  TlsStream(RawChannel& raw, std::unique_ptr<SecurityProvider> provider);

  // Handshake and verification for serverName (a name or a literal address).
  SecureResult Handshake(const std::string& serverName, int timeoutMs);
  // As Transport::Send and Transport::Receive, on the decrypted stream.
  bool Send(const std::string& bytes, int timeoutMs);
  int Receive(char* buffer, int capacity, int timeoutMs);
  // Tells the server the connection ends (close_notify), within timeoutMs.
  void Close(int timeoutMs);
  // True once a renegotiation presented a certificate that does not verify.
  bool TrustLost() const { return m_bTrustLost; }
  // The most renegotiations between two commands, the poll before the next
  // one included: a server asking again after each would hold the check.
  static constexpr int kMaxRenegotiations = 8;
  // The protocol agreed and the server certificate's subject, for the log.
  std::string Description() { return m_provider->Describe(); }

 private:
  // Runs handshake messages until the provider is done; false on failure or
  // when the time ran out. readFirst waits for the server before the first step.
  bool Negotiate(const Deadline& deadline, bool readFirst);
  bool Renegotiate(const Deadline& deadline);
  // The limit of the renegotiations met while polling: one for all of them
  // until the next command goes out.
  const Deadline& PollLimit();
  // Reads more raw bytes onto the undecrypted ones.
  bool ReadMore(const Deadline& deadline);

  RawChannel& m_raw;
  std::unique_ptr<SecurityProvider> m_provider;
  std::string m_strServerName;
  size_t m_nMaxRecordData = 0;
  // Raw bytes received and not yet decrypted, and decrypted bytes not yet read.
  std::string m_encrypted;
  std::string m_plain;
  bool m_bClosed = false;
  bool m_bTrustLost = false;
  // A renegotiation failed: the stream is out of step and carries nothing more.
  bool m_bBroken = false;
  // Since the last command went out.
  int m_nRenegotiations = 0;
  std::optional<Deadline> m_pollLimit;
};
