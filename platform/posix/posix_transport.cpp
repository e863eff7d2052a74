#include "platform/posix/posix_transport.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <vector>

namespace {

bool WaitFor(int socket, short events, int timeoutMs) {
  pollfd entry{socket, events, 0};
  int ready;
  do {
    ready = poll(&entry, 1, timeoutMs);
  } while (ready < 0 && errno == EINTR);
  return ready > 0;
}

class PosixTransport : public Transport {
 public:
  ~PosixTransport() override { CloseSocket(); }

  bool Startup() override { return true; }

  bool Resolve(const std::string& host, uint16_t port, int) override {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0) return false;
    m_addresses.clear();
    for (const addrinfo* entry = found; entry; entry = entry->ai_next) {
      sockaddr_storage address{};
      std::memcpy(&address, entry->ai_addr, entry->ai_addrlen);
      m_addresses.push_back(Address{address, entry->ai_addrlen});
    }
    freeaddrinfo(found);
    return !m_addresses.empty();
  }

  ConnectResult Connect(int timeoutMs) override {
    bool anySocket = false;
    for (const Address& address : m_addresses) {
      if (m_bAborted) break;
      CloseSocket();
      m_socket = socket(address.storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
      if (m_socket < 0) continue;
      anySocket = true;
      if (ConnectTo(address, timeoutMs)) return ConnectResult::kConnected;
    }
    return anySocket ? ConnectResult::kFailed : ConnectResult::kNoSocket;
  }

  SecureResult StartSecure(const std::string&, int) override {
    return SecureResult::kHandshakeFailed;
  }

  void Abort() override {
    m_bAborted = true;
    const int socket = m_socket;
    if (socket >= 0) shutdown(socket, SHUT_RDWR);
  }

  bool Send(const std::string& bytes, int timeoutMs) override {
    if (m_bAborted) return false;
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
    if (m_bAborted || !WaitFor(m_socket, POLLIN, timeoutMs)) return -1;
    ssize_t received;
    do {
      received = recv(m_socket, buffer, static_cast<size_t>(capacity), 0);
    } while (received < 0 && errno == EINTR);
    return received < 0 || m_bAborted ? -1 : static_cast<int>(received);
  }

  bool CloseSocket() override {
    if (m_socket < 0) return true;
    const int result = close(m_socket);
    m_socket = -1;
    return result == 0;
  }

  bool Cleanup() override { return true; }

 private:
  struct Address {
    sockaddr_storage storage;
    socklen_t length;
  };

  bool ConnectTo(const Address& address, int timeoutMs) {
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

  std::vector<Address> m_addresses;
  std::atomic<int> m_socket{-1};
  std::atomic<bool> m_bAborted{false};
};

}  // namespace

std::unique_ptr<Transport> CreatePosixTransport() { return std::make_unique<PosixTransport>(); }
