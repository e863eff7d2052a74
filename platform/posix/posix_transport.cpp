#include "platform/posix/posix_transport.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <utility>
#include <vector>

#include "platform/address_lookup.h"
#include "platform/connect_race.h"
#include "platform/posix/openssl_stream.h"
#include "platform/posix/poll_wait.h"

namespace {

class PosixTransport : public Transport, private ConnectAttempts {
 public:
  explicit PosixTransport(std::string caFile) : m_strCaFile(std::move(caFile)) {}
  ~PosixTransport() override { CloseSocket(); }

  bool Startup() override { return m_abort.Ready() && m_interrupt.Ready(); }

  bool Resolve(const std::string& host, uint16_t port, int timeoutMs) override {
    return LookUpAddresses(host, port, timeoutMs, m_abort.Raised(), m_addresses);
  }

  ConnectResult Connect(int timeoutMs) override {
    CloseSocket();
    m_attempts.assign(m_addresses.size(), Attempt());
    size_t winner = 0;
    m_tried.clear();
    const ConnectResult result =
        RaceConnects(*this, m_addresses.size(), Deadline(timeoutMs), m_abort.Raised(), winner);
    m_strConnected.clear();
    if (result == ConnectResult::kConnected) {
      std::swap(m_socket, m_attempts[winner].socket);
      m_strConnected = AddressText(m_addresses[winner]);
    }
    return result;
  }

  SecureResult StartSecure(const std::string& serverName, int timeoutMs) override {
    if (m_abort.Raised()) return SecureResult::kHandshakeFailed;
    m_tls = std::make_unique<OpenSslStream>(m_socket, m_abort, m_interrupt, m_strCaFile);
    const SecureResult result = m_tls->Handshake(serverName, timeoutMs);
    m_strTls = m_tls->Description();
    if (result != SecureResult::kSecured) m_tls.reset();
    return result;
  }

  std::string Note() override {
    const std::string attempts = AttemptsNote(m_tried, m_strConnected);
    return m_strTls.empty() ? attempts : attempts + "; " + m_strTls;
  }

  void Abort() override { m_abort.Raise(); }
  void InterruptReceive() override { m_interrupt.Raise(); }
  void ResumeReceive() override { m_interrupt.Lower(); }

  bool KeepAlive(int idleS, int intervalS) override {
    const int on = 1;
    return setsockopt(m_socket, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) == 0 &&
           setsockopt(m_socket, IPPROTO_TCP, TCP_KEEPIDLE, &idleS, sizeof idleS) == 0 &&
           setsockopt(m_socket, IPPROTO_TCP, TCP_KEEPINTVL, &intervalS, sizeof intervalS) == 0;
  }

  bool Send(const std::string& bytes, int timeoutMs) override {
    if (m_abort.Raised()) return false;
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
          !WaitFor(m_socket, POLLOUT, timeoutMs, m_abort))
        return false;
    }
    return true;
  }

  int Receive(char* buffer, int capacity, int timeoutMs) override {
    if (m_tls) return m_tls->Receive(buffer, capacity, timeoutMs);
    if (!WaitFor(m_socket, POLLIN, timeoutMs, m_abort, &m_interrupt)) return -1;
    ssize_t received;
    do {
      received = recv(m_socket, buffer, static_cast<size_t>(capacity), 0);
    } while (received < 0 && errno == EINTR);
    return received < 0 || m_abort.Raised() ? -1 : static_cast<int>(received);
  }

  bool CloseSocket() override {
    m_tls.reset();
    for (size_t i = 0; i < m_attempts.size(); ++i) Drop(i);
    if (m_socket < 0) return true;
    const int result = close(m_socket);
    m_socket = -1;
    return result == 0;
  }

  bool Cleanup() override { return true; }

 private:
  struct Attempt {
    int socket = -1;
    bool refused = false;  // failed as the connect was made
  };

  bool Begin(size_t index) override {
    const SocketAddress& address = m_addresses[index];
    m_tried.push_back(AddressText(address));
    Attempt& attempt = m_attempts[index];
    attempt.socket = socket(address.storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (attempt.socket < 0) return false;
    attempt.refused =
        connect(attempt.socket, reinterpret_cast<const sockaddr*>(&address.storage),
                static_cast<socklen_t>(address.length)) != 0 &&
        errno != EINPROGRESS;
    return true;
  }

  bool WaitForOne(int timeoutMs, size_t& index, bool& connected) override {
    std::vector<pollfd> entries{{m_abort.Descriptor(), POLLIN, 0}};
    std::vector<size_t> indexes;
    for (size_t i = 0; i < m_attempts.size(); ++i) {
      if (m_attempts[i].socket < 0) continue;
      if (m_attempts[i].refused) {
        index = i;
        connected = false;
        return true;
      }
      entries.push_back({m_attempts[i].socket, POLLOUT, 0});
      indexes.push_back(i);
    }
    int ready;
    do {
      ready = poll(entries.data(), entries.size(), timeoutMs);
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0 || entries[0].revents != 0) return false;
    for (size_t i = 1; i < entries.size(); ++i) {
      if (entries[i].revents == 0) continue;
      int error = 0;
      socklen_t length = sizeof error;
      index = indexes[i - 1];
      connected = getsockopt(entries[i].fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 &&
                  error == 0;
      return true;
    }
    return false;
  }

  void Drop(size_t index) override {
    if (m_attempts[index].socket >= 0) close(m_attempts[index].socket);
    m_attempts[index] = Attempt();
  }

  std::string m_strCaFile;
  AbortSignal m_abort;
  AbortSignal m_interrupt;
  std::vector<SocketAddress> m_addresses;
  std::vector<Attempt> m_attempts;
  int m_socket = -1;
  std::unique_ptr<OpenSslStream> m_tls;
  // For the log.
  std::vector<std::string> m_tried;
  std::string m_strConnected;
  std::string m_strTls;
};

}  // namespace

std::unique_ptr<Transport> CreatePosixTransport(const std::string& caFile) {
  // OpenSSL writes to the socket with write(), which raises SIGPIPE on a
  // connection the peer has reset; that must fail the call, not end the process.
  static const bool pipeSignalIgnored = signal(SIGPIPE, SIG_IGN) != SIG_ERR;
  (void)pipeSignalIgnored;
  return std::make_unique<PosixTransport>(caFile);
}
