#include "platform/posix/posix_transport.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

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

  bool OpenSocket() override {
    m_socket = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    return m_socket >= 0;
  }

  bool Resolve(const std::string& host) override {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) return false;
    std::memcpy(&m_address, found->ai_addr, sizeof m_address);
    freeaddrinfo(found);
    return true;
  }

  bool Connect(uint16_t port, int timeoutMs) override {
    m_address.sin_port = htons(port);
    const int flags = fcntl(m_socket, F_GETFL);
    if (flags < 0 || fcntl(m_socket, F_SETFL, flags | O_NONBLOCK) < 0) return false;
    bool connected =
        connect(m_socket, reinterpret_cast<const sockaddr*>(&m_address), sizeof m_address) == 0;
    if (!connected && errno == EINPROGRESS && WaitFor(m_socket, POLLOUT, timeoutMs)) {
      int error = 0;
      socklen_t length = sizeof error;
      connected = getsockopt(m_socket, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
    }
    return fcntl(m_socket, F_SETFL, flags) == 0 && connected;
  }

  bool Send(const std::string& bytes, int timeoutMs) override {
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
    if (!WaitFor(m_socket, POLLIN, timeoutMs)) return -1;
    ssize_t received;
    do {
      received = recv(m_socket, buffer, static_cast<size_t>(capacity), 0);
    } while (received < 0 && errno == EINTR);
    return received < 0 ? -1 : static_cast<int>(received);
  }

  bool CloseSocket() override {
    if (m_socket < 0) return true;
    const int result = close(m_socket);
    m_socket = -1;
    return result == 0;
  }

  bool Cleanup() override { return true; }

 private:
  int m_socket = -1;
  sockaddr_in m_address{};
};

}  // namespace

std::unique_ptr<Transport> CreatePosixTransport() { return std::make_unique<PosixTransport>(); }
