#pragma once

#include <string>

#include "platform/posix/poll_wait.h"
#include "platform/transport.h"

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

// TLS with OpenSSL over a connected socket, with the same rules as the
// Windows program: the handshake completes first, then the chain is checked
// against the trusted roots and the certificate against the server's name.
class OpenSslStream {
 public:
  // caFile names the trusted roots; empty means the system's. interrupt
  // ends the waits of Receive alone.
  OpenSslStream(int socket, const AbortSignal& abort, const AbortSignal& interrupt,
                std::string caFile);
  ~OpenSslStream();
  OpenSslStream(const OpenSslStream&) = delete;
  OpenSslStream& operator=(const OpenSslStream&) = delete;

  // Handshake and verification for serverName (a name or a literal address).
  SecureResult Handshake(const std::string& serverName, int timeoutMs);
  // As Transport::Send and Transport::Receive, on the decrypted stream.
  bool Send(const std::string& bytes, int timeoutMs);
  int Receive(char* buffer, int capacity, int timeoutMs);
  // The protocol agreed and the server certificate's subject, for the log.
  std::string Description() const;

 private:
  // Waits for what the last call of OpenSSL asked for; false on any other
  // error, and when receiving is interrupted where that counts.
  bool WaitAfter(int callResult, int deadlineMs, const AbortSignal* interrupt = nullptr);

  int m_socket;
  const AbortSignal& m_abort;
  const AbortSignal& m_interrupt;
  std::string m_strCaFile;
  SSL_CTX* m_context = nullptr;
  SSL* m_ssl = nullptr;
};
