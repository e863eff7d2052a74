#include "platform/posix/posix_transport.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <utility>
#include <vector>

#include "platform/address_lookup.h"
#include "platform/bounded_call.h"
#include "platform/posix/openssl_stream.h"
#include "platform/posix/poll_wait.h"

namespace {

class PosixTransport : public Transport {
 public:
  explicit PosixTransport(std::string caFile) : m_strCaFile(std::move(caFile)) {}
  ~PosixTransport() override { CloseSocket(); }

  bool Startup() override { return true; }

  bool Resolve(const std::string& host, uint16_t port, int timeoutMs) override {
    m_addresses.clear();
    return RunBounded([host, port] { return LookUpAddresses(host, port); }, timeoutMs, m_bAborted,
                      m_addresses) &&
           !m_addresses.empty();
  }

  ConnectResult Connect(int timeoutMs) override {
    bool anySocket = false;
    for (const SocketAddress& address : m_addresses) {
      if (m_bAborted) break;
      CloseSocket();
      m_socket = socket(address.storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
      if (m_socket < 0) continue;
      anySocket = true;
      if (ConnectTo(address, timeoutMs)) return ConnectResult::kConnected;
    }
    return anySocket ? ConnectResult::kFailed : ConnectResult::kNoSocket;
  }

  SecureResult StartSecure(const std::string& serverName, int timeoutMs) override {
    const int flags = fcntl(m_socket, F_GETFL);
    if (m_bAborted || flags < 0 || fcntl(m_socket, F_SETFL, flags | O_NONBLOCK) < 0)
      return SecureResult::kHandshakeFailed;
    m_tls = std::make_unique<OpenSslStream>(m_socket, m_bAborted, m_strCaFile);
    const SecureResult result = m_tls->Handshake(serverName, timeoutMs);
    if (result != SecureResult::kSecured) m_tls.reset();
    return result;
  }

  void Abort() override {
    m_bAborted = true;
    const int socket = m_socket;
    if (socket >= 0) shutdown(socket, SHUT_RDWR);
  }

  bool Send(const std::string& bytes, int timeoutMs) override {
    if (m_bAborted) return false;
    if (m_tls) return m_tls->Send(bytes, timeoutMs);
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t sent =
          send(m_socket, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (sent > 0) {
        done += static_cast<size_t>(sent);
        continue;
      }
      if (sent < 0 && errno == EINTR) continue;
      // Only a full send buffer is waited out; anything else is a failure.
      if (sent == 0 || (errno != EAGAIN && errno != EWOULDBLOCK) ||
          !WaitFor(m_socket, POLLOUT, timeoutMs))
        return false;
    }
    return true;
  }

  int Receive(char* buffer, int capacity, int timeoutMs) override {
    if (m_tls) return m_tls->Receive(buffer, capacity, timeoutMs);
    if (m_bAborted || !WaitFor(m_socket, POLLIN, timeoutMs)) return -1;
    ssize_t received;
    do {
      received = recv(m_socket, buffer, static_cast<size_t>(capacity), 0);
    } while (received < 0 && errno == EINTR);
    return received < 0 || m_bAborted ? -1 : static_cast<int>(received);
  }

  bool CloseSocket() override {
    m_tls.reset();
    if (m_socket < 0) return true;
    const int result = close(m_socket);
    m_socket = -1;
    return result == 0;
  }

  bool Cleanup() override { return true; }

 private:
  bool ConnectTo(const SocketAddress& address, int timeoutMs) {
    const int flags = fcntl(m_socket, F_GETFL);
    if (flags < 0 || fcntl(m_socket, F_SETFL, flags | O_NONBLOCK) < 0) return false;
    bool connected =
        connect(m_socket, reinterpret_cast<const sockaddr*>(&address.storage), address.length) == 0;
    if (!connected && errno == EINPROGRESS && WaitFor(m_socket, POLLOUT, timeoutMs)) {
      int error = 0;
      socklen_t length = sizeof error;
      connected = getsockopt(m_socket, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
    }
    return fcntl(m_socket, F_SETFL, flags) == 0 && connected && !m_bAborted;
  }

  std::string m_strCaFile;
  std::vector<SocketAddress> m_addresses;
  std::atomic<int> m_socket{-1};
  std::atomic<bool> m_bAborted{false};
  std::unique_ptr<OpenSslStream> m_tls;
};

}  // namespace

std::unique_ptr<Transport> CreatePosixTransport(const std::string& caFile) {
  return std::make_unique<PosixTransport>(caFile);
}
