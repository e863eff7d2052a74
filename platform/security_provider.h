#pragma once

#include <cstddef>
#include <string>

// What a step of the security provider said, as the system's provider
// (Schannel through SSPI) says it.
enum class TlsStatus {
  kOk,                     // done: the handshake is complete, or a record was read
  kContinue,               // the handshake goes on: send the output, read the answer
  kIncompleteMessage,      // the input holds no whole message yet: read more
  kIncompleteCredentials,  // the server asked for a client certificate
  kRenegotiate,            // handshake messages came in the stream: feed them to Continue
  kClosed,                 // the server's close_notify
  kFailed,
};

// The system's TLS for one connection, call for call as the stream uses it.
// Records go in and out as bytes; the stream decides when to read and send.
class SecurityProvider {
 public:
  virtual ~SecurityProvider() = default;

  // Starts the handshake for serverName (a name or a literal address); the
  // first message to send is put in output.
  virtual TlsStatus Start(const std::string& serverName, std::string& output) = 0;
  // Feeds what the server sent to the handshake. What to send back is put
  // in output, and the count of bytes at the end of input that it did not
  // use (the next messages) in extra.
  virtual TlsStatus Continue(std::string& input, std::string& output, size_t& extra) = 0;
  // Decrypts the first record of input, in place: its data is appended to
  // plain, and the count of bytes left after it (or, on kRenegotiate, the
  // bytes to feed to Continue) put in extra.
  virtual TlsStatus Decrypt(std::string& input, std::string& plain, size_t& extra) = 0;
  // The most data one record carries; 0 when it cannot be learnt.
  virtual size_t MaxRecordData() = 0;
  // Encrypts data of at most MaxRecordData bytes into one record.
  virtual bool Encrypt(const std::string& data, std::string& record) = 0;
  // Whether the server's present certificate verifies for serverName:
  // chain to a trusted root, and name or address. Fetching what the chain
  // lacks may take timeoutMs at most; none is fetched when it is 0.
  virtual bool PeerTrusted(const std::string& serverName, int timeoutMs) = 0;
  // The close_notify to send; false when there is none.
  virtual bool Shutdown(std::string& output) = 0;
  // The protocol agreed and the server certificate's subject, for the log.
  virtual std::string Describe() { return std::string(); }
};
