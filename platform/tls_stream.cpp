#include "platform/tls_stream.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

constexpr size_t kReadChunk = 16 * 1024;

}  // namespace

TlsStream::TlsStream(RawChannel& raw, std::unique_ptr<SecurityProvider> provider)
    : m_raw(raw), m_provider(std::move(provider)) {}

bool TlsStream::ReadMore(const Deadline& deadline) {
  const int left = deadline.MsLeft();
  if (left == 0) return false;
  char chunk[kReadChunk];
  const int count = m_raw.ReceiveRaw(chunk, sizeof chunk, left);
  if (count <= 0) return false;
  m_encrypted.append(chunk, static_cast<size_t>(count));
  return true;
}

// Also serves the messages a server sends after the handshake (TLS 1.3
// tickets, a TLS 1.2 HelloRequest), which decryption hands back to be fed in
// here. Whatever the provider used is dropped before anything else.
bool TlsStream::Negotiate(const Deadline& deadline, bool readFirst) {
  bool needMore = readFirst;
  bool credentialsAsked = false;
  for (;;) {
    if (needMore && !ReadMore(deadline)) return false;
    std::string output;
    size_t extra = 0;
    const TlsStatus status = m_provider->Continue(m_encrypted, output, extra);
    if (status == TlsStatus::kOk || status == TlsStatus::kContinue)
      m_encrypted.erase(0, m_encrypted.size() - std::min(extra, m_encrypted.size()));
    if (!output.empty() && !m_raw.SendRaw(output.data(), output.size(), deadline.MsLeft()))
      return false;
    switch (status) {
      case TlsStatus::kOk:
        return true;
      case TlsStatus::kContinue:
        needMore = m_encrypted.empty();
        break;
      case TlsStatus::kIncompleteMessage:
        needMore = true;
        break;
      case TlsStatus::kIncompleteCredentials:
        // There is no client certificate to give; asked again, the handshake
        // would never end.
        if (credentialsAsked) return false;
        credentialsAsked = true;
        needMore = false;
        break;
      default:
        return false;
    }
  }
}

// A TLS 1.3 message comes back as input for the provider; a TLS 1.2
// HelloRequest has none, and the provider answers it from nothing.
bool TlsStream::Renegotiate(const Deadline& deadline) {
  if (++m_nRenegotiations > kMaxRenegotiations || !Negotiate(deadline, false)) return false;
  m_bTrustLost = !m_provider->PeerTrusted(m_strServerName, deadline.MsLeft());
  return !m_bTrustLost;
}

const Deadline& TlsStream::PollLimit() {
  if (!m_pollLimit) m_pollLimit.emplace(kNetworkTimeoutMs);
  return *m_pollLimit;
}

SecureResult TlsStream::Handshake(const std::string& serverName, int timeoutMs) {
  const Deadline deadline(timeoutMs);
  m_strServerName = serverName;
  std::string hello;
  if (m_provider->Start(serverName, hello) != TlsStatus::kContinue ||
      !m_raw.SendRaw(hello.data(), hello.size(), deadline.MsLeft()) || !Negotiate(deadline, true))
    return SecureResult::kHandshakeFailed;
  if (!m_provider->PeerTrusted(serverName, deadline.MsLeft())) return SecureResult::kUntrusted;
  m_nMaxRecordData = m_provider->MaxRecordData();
  return m_nMaxRecordData > 0 ? SecureResult::kSecured : SecureResult::kHandshakeFailed;
}

// Nothing more goes to a server whose certificate no longer verifies, nor
// over a stream a failed renegotiation left out of step. A command starts
// the count of renegotiations afresh.
bool TlsStream::Send(const std::string& bytes, int timeoutMs) {
  if (m_bTrustLost || m_bBroken) return false;
  m_nRenegotiations = 0;
  m_pollLimit.reset();
  const Deadline deadline(timeoutMs);
  for (size_t done = 0; done < bytes.size();) {
    const size_t count = std::min(bytes.size() - done, m_nMaxRecordData);
    std::string record;
    if (!m_provider->Encrypt(bytes.substr(done, count), record) ||
        !m_raw.SendRaw(record.data(), record.size(), deadline.MsLeft()))
      return false;
    done += count;
  }
  return true;
}

// A record may hold several replies or part of one: whatever is decrypted
// waits in m_plain, whatever is not yet a whole record in m_encrypted.
int TlsStream::Receive(char* buffer, int capacity, int timeoutMs) {
  if (m_bBroken) return -1;
  const Deadline deadline(timeoutMs);
  bool readOnce = false;
  for (;;) {
    if (!m_plain.empty()) {
      const size_t count = std::min(m_plain.size(), static_cast<size_t>(capacity));
      std::memcpy(buffer, m_plain.data(), count);
      m_plain.erase(0, count);
      return static_cast<int>(count);
    }
    if (m_bClosed) return 0;
    if (!m_encrypted.empty()) {
      size_t extra = 0;
      const TlsStatus status = m_provider->Decrypt(m_encrypted, m_plain, extra);
      if (status == TlsStatus::kOk || status == TlsStatus::kRenegotiate ||
          status == TlsStatus::kClosed) {
        m_encrypted.erase(0, m_encrypted.size() - std::min(extra, m_encrypted.size()));
        // The server's close_notify: what came before it is still read.
        if (status == TlsStatus::kClosed) m_bClosed = true;
        // Bounded by the limit of the reply it comes in; met while only
        // polling, by one limit shared until the next command.
        if (status == TlsStatus::kRenegotiate &&
            !Renegotiate(timeoutMs == 0 ? PollLimit() : deadline)) {
          m_bBroken = true;
          return -1;
        }
        continue;
      }
      if (status != TlsStatus::kIncompleteMessage) return -1;
    }
    // A run of empty records, or a record arriving a byte at a time, ends
    // with the limit like any other wait; a poll reads once.
    if (readOnce && deadline.MsLeft() == 0) return -1;
    readOnce = true;
    char chunk[kReadChunk];
    const int count = m_raw.ReceiveRaw(chunk, sizeof chunk, timeoutMs == 0 ? 0 : deadline.MsLeft());
    if (count <= 0) return count == 0 && m_encrypted.empty() ? 0 : -1;
    m_encrypted.append(chunk, static_cast<size_t>(count));
  }
}

void TlsStream::Close(int timeoutMs) {
  std::string notify;
  if (m_provider->Shutdown(notify))
    m_raw.SendRaw(notify.data(), notify.size(), timeoutMs);
}
