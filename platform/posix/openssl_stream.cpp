#include "platform/posix/openssl_stream.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <utility>

#include "platform/deadline.h"
#include "platform/posix/poll_wait.h"

namespace {

bool IsLiteralAddress(const std::string& host) {
  unsigned char scratch[16];
  return inet_pton(AF_INET, host.c_str(), scratch) == 1 ||
         inet_pton(AF_INET6, host.c_str(), scratch) == 1;
}

}  // namespace

OpenSslStream::OpenSslStream(int socket, const AbortSignal& abort, const AbortSignal& interrupt,
                             std::string caFile)
    : m_socket(socket), m_abort(abort), m_interrupt(interrupt), m_strCaFile(std::move(caFile)) {}

OpenSslStream::~OpenSslStream() {
  if (m_ssl) {
    // A polite close_notify when it fits in the send buffer; never waited
    // for, nor sent on a connection given up.
    if (SSL_is_init_finished(m_ssl) && !m_abort.Raised()) SSL_shutdown(m_ssl);
    SSL_free(m_ssl);
  }
  SSL_CTX_free(m_context);
}

bool OpenSslStream::WaitAfter(int callResult, int timeoutMs, const AbortSignal* interrupt) {
  switch (SSL_get_error(m_ssl, callResult)) {
    case SSL_ERROR_WANT_READ:
      return timeoutMs > 0 && WaitFor(m_socket, POLLIN, timeoutMs, m_abort, interrupt);
    case SSL_ERROR_WANT_WRITE:
      return timeoutMs > 0 && WaitFor(m_socket, POLLOUT, timeoutMs, m_abort, interrupt);
    default:
      return false;
  }
}

SecureResult OpenSslStream::Handshake(const std::string& serverName, int timeoutMs) {
  const Deadline deadline(timeoutMs);
  m_context = SSL_CTX_new(TLS_client_method());
  if (!m_context || !SSL_CTX_set_min_proto_version(m_context, TLS1_2_VERSION))
    return SecureResult::kHandshakeFailed;
  const bool rootsLoaded = m_strCaFile.empty()
                               ? SSL_CTX_set_default_verify_paths(m_context) == 1
                               : SSL_CTX_load_verify_locations(m_context, m_strCaFile.c_str(),
                                                               nullptr) == 1;
  // The handshake is not made to fail on the certificate, so that a failed
  // handshake and an untrusted server stay two different outcomes.
  SSL_CTX_set_verify(m_context, SSL_VERIFY_NONE, nullptr);
  m_ssl = SSL_new(m_context);
  if (!m_ssl || !SSL_set_fd(m_ssl, m_socket)) return SecureResult::kHandshakeFailed;
  const bool literal = IsLiteralAddress(serverName);
  X509_VERIFY_PARAM* param = SSL_get0_param(m_ssl);
  X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
  const bool nameSet = literal ? X509_VERIFY_PARAM_set1_ip_asc(param, serverName.c_str()) == 1
                               : SSL_set1_host(m_ssl, serverName.c_str()) == 1 &&
                                     SSL_set_tlsext_host_name(m_ssl, serverName.c_str()) == 1;
  if (!nameSet) return SecureResult::kHandshakeFailed;

  for (;;) {
    const int result = SSL_connect(m_ssl);
    if (result == 1) break;
    if (!WaitAfter(result, deadline.MsLeft())) {
      ERR_clear_error();
      return SecureResult::kHandshakeFailed;
    }
  }
  X509* certificate = SSL_get1_peer_certificate(m_ssl);
  const bool trusted = certificate && rootsLoaded && SSL_get_verify_result(m_ssl) == X509_V_OK;
  X509_free(certificate);
  return trusted ? SecureResult::kSecured : SecureResult::kUntrusted;
}

std::string OpenSslStream::Description() const {
  if (!m_ssl) return std::string();
  std::string text = SSL_get_version(m_ssl);
  X509* certificate = SSL_get1_peer_certificate(m_ssl);
  if (!certificate) return text;
  char subject[512] = {};
  X509_NAME_oneline(X509_get_subject_name(certificate), subject, sizeof subject);
  X509_free(certificate);
  return text + ", certificate " + subject;
}

bool OpenSslStream::Send(const std::string& bytes, int timeoutMs) {
  size_t done = 0;
  while (done < bytes.size()) {
    size_t written = 0;
    const int result = SSL_write_ex(m_ssl, bytes.data() + done, bytes.size() - done, &written);
    if (result == 1) {
      done += written;
      continue;
    }
    if (!WaitAfter(result, timeoutMs)) {
      ERR_clear_error();
      return false;
    }
  }
  return !m_abort.Raised();
}

int OpenSslStream::Receive(char* buffer, int capacity, int timeoutMs) {
  const Deadline deadline(timeoutMs);
  for (;;) {
    if (m_abort.Raised() || m_interrupt.Raised()) return -1;
    size_t read = 0;
    const int result = SSL_read_ex(m_ssl, buffer, static_cast<size_t>(capacity), &read);
    if (result == 1) return static_cast<int>(read);
    if (SSL_get_error(m_ssl, result) == SSL_ERROR_ZERO_RETURN) return 0;
    if (!WaitAfter(result, timeoutMs == 0 ? 0 : deadline.MsLeft(), &m_interrupt)) {
      ERR_clear_error();
      return -1;
    }
  }
}
