#pragma once

#include <memory>
#include <string>

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

struct SchannelState;

// TLS with Windows' own Schannel over a raw channel. The certificate is not
// left to Schannel (some implementations accept anything); the program
// verifies the chain and the name itself once the handshake is done.
class SchannelStream {
 public:
  explicit SchannelStream(RawChannel& raw);
  ~SchannelStream();
  SchannelStream(const SchannelStream&) = delete;
  SchannelStream& operator=(const SchannelStream&) = delete;

  // Handshake and verification for serverName (a name or a literal address).
  SecureResult Handshake(const std::string& serverName, int timeoutMs);
  // As Transport::Send and Transport::Receive, on the decrypted stream.
  bool Send(const std::string& bytes, int timeoutMs);
  int Receive(char* buffer, int capacity, int timeoutMs);
  // Tells the server the connection ends (close_notify), within timeoutMs.
  void Close(int timeoutMs);

 private:
  bool Negotiate(int timeoutMs);
  bool Trusted(const std::string& serverName);
  // Reads more raw bytes onto the undecrypted ones; false on close, error or time-out.
  bool ReadMore(int timeoutMs);

  RawChannel& m_raw;
  std::unique_ptr<SchannelState> m_state;
  std::string m_strServerName;
  // Raw bytes received and not yet decrypted, and decrypted bytes not yet read.
  std::string m_encrypted;
  std::string m_plain;
  bool m_bClosed = false;
};
