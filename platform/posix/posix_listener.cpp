#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>

#include "platform/posix/poll_wait.h"
#include "platform/posix/posix_services.h"

namespace {

class PosixConnection : public LoopbackConnection {
 public:
  PosixConnection(int socket, std::shared_ptr<AbortSignal> abort)
      : m_socket(socket), m_abort(std::move(abort)) {}
  ~PosixConnection() override { close(m_socket); }
  PosixConnection(const PosixConnection&) = delete;
  PosixConnection& operator=(const PosixConnection&) = delete;

  int Receive(char* buffer, int capacity, int timeoutMs) override {
    if (!WaitFor(m_socket, POLLIN, timeoutMs, *m_abort)) return -1;
    ssize_t received;
    do {
      received = recv(m_socket, buffer, static_cast<size_t>(capacity), 0);
    } while (received < 0 && errno == EINTR);
    return received < 0 ? -1 : static_cast<int>(received);
  }

  bool Send(const std::string& bytes, int timeoutMs) override {
    for (size_t done = 0; done < bytes.size();) {
      const ssize_t sent =
          send(m_socket, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (sent > 0) {
        done += static_cast<size_t>(sent);
      } else if (sent < 0 && errno == EINTR) {
        continue;
      } else if (sent == 0 || (errno != EAGAIN && errno != EWOULDBLOCK) ||
                 !WaitFor(m_socket, POLLOUT, timeoutMs, *m_abort)) {
        return false;
      }
    }
    // The answer is all there is: the browser sees its end at once.
    shutdown(m_socket, SHUT_WR);
    return true;
  }

 private:
  int m_socket;
  std::shared_ptr<AbortSignal> m_abort;
};

class PosixPort : public LoopbackPort {
 public:
  PosixPort(int socket, uint16_t port) : m_socket(socket), m_nPort(port) {}
  ~PosixPort() override { close(m_socket); }
  PosixPort(const PosixPort&) = delete;
  PosixPort& operator=(const PosixPort&) = delete;

  uint16_t Port() const override { return m_nPort; }

  std::unique_ptr<LoopbackConnection> Accept(int timeoutMs) override {
    if (!m_abort->Ready() || !WaitFor(m_socket, POLLIN, timeoutMs, *m_abort)) return nullptr;
    const int accepted = accept4(m_socket, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (accepted < 0) return nullptr;
    return std::make_unique<PosixConnection>(accepted, m_abort);
  }

  void Abort() override { m_abort->Raise(); }

 private:
  int m_socket;
  uint16_t m_nPort;
  // Shared with the connections, which may outlive the port.
  std::shared_ptr<AbortSignal> m_abort = std::make_shared<AbortSignal>();
};

class PosixListener : public Listener {
 public:
  std::unique_ptr<LoopbackPort> Listen() override {
    const int listening = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listening < 0) return nullptr;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listening, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(listening, SOMAXCONN) != 0 ||
        getsockname(listening, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      close(listening);
      return nullptr;
    }
    return std::make_unique<PosixPort>(listening, ntohs(address.sin_port));
  }
};

}  // namespace

std::unique_ptr<Listener> CreatePosixListener() { return std::make_unique<PosixListener>(); }
