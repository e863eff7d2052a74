#include "platform/win32/win32_services.h"
#include "platform/win32/scoped_handle.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <atomic>

#include "platform/deadline.h"
#include "platform/win32/winsock_transport.h"

namespace {

// Waits are cut into slices this long, so that an abort from another thread
// is seen soon without touching a socket that thread may be closing.
constexpr int kSliceMs = 50;

using AbortFlag = std::atomic<bool>;

// Until the socket can be read (or written), the time runs out or an abort.
bool WaitReady(SOCKET socket, bool write, int timeoutMs, const AbortFlag& aborted) {
  const Deadline limit(timeoutMs);
  for (;;) {
    if (aborted) return false;
    const int left = limit.MsLeft();
    const int slice = left < kSliceMs ? left : kSliceMs;
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(socket, &ready);
    fd_set failed = ready;
    timeval wait{slice / 1000, slice % 1000 * 1000};
    const int count =
        select(0, write ? nullptr : &ready, write ? &ready : nullptr, &failed, &wait);
    if (count != 0) return count > 0 && !aborted;
    if (left <= 0) return false;
  }
}

bool NonBlocking(SOCKET socket) {
  u_long on = 1;
  return ioctlsocket(socket, FIONBIO, &on) == 0;
}

class Win32Connection : public LoopbackConnection {
 public:
  Win32Connection(ScopedSocket socket, std::shared_ptr<AbortFlag> aborted)
      : m_socket(std::move(socket)), m_aborted(std::move(aborted)) {}
  Win32Connection(const Win32Connection&) = delete;
  Win32Connection& operator=(const Win32Connection&) = delete;

  int Receive(char* buffer, int capacity, int timeoutMs) override {
    if (!WaitReady(m_socket.Get(), false, timeoutMs, *m_aborted)) return -1;
    const int received = recv(m_socket.Get(), buffer, capacity, 0);
    return received < 0 ? -1 : received;
  }

  bool Send(const std::string& bytes, int timeoutMs) override {
    for (size_t done = 0; done < bytes.size();) {
      const int sent =
          send(m_socket.Get(), bytes.data() + done, static_cast<int>(bytes.size() - done), 0);
      if (sent > 0) {
        done += static_cast<size_t>(sent);
      } else if (sent == 0 || WSAGetLastError() != WSAEWOULDBLOCK ||
                 !WaitReady(m_socket.Get(), true, timeoutMs, *m_aborted)) {
        return false;
      }
    }
    // The answer is all there is: the browser sees its end at once.
    shutdown(m_socket.Get(), SD_SEND);
    return true;
  }

 private:
  ScopedSocket m_socket;
  std::shared_ptr<AbortFlag> m_aborted;
};

class Win32Port : public LoopbackPort {
 public:
  Win32Port(ScopedSocket socket, uint16_t port) : m_socket(std::move(socket)), m_nPort(port) {}
  ~Win32Port() override {
    m_socket.Reset();
    WSACleanup();
  }
  Win32Port(const Win32Port&) = delete;
  Win32Port& operator=(const Win32Port&) = delete;

  uint16_t Port() const override { return m_nPort; }

  std::unique_ptr<LoopbackConnection> Accept(int timeoutMs) override {
    if (!WaitReady(m_socket.Get(), false, timeoutMs, *m_aborted)) return nullptr;
    ScopedSocket accepted(accept(m_socket.Get(), nullptr, nullptr));
    if (!accepted.Valid() || !NonBlocking(accepted.Get())) return nullptr;
    return std::make_unique<Win32Connection>(std::move(accepted), m_aborted);
  }

  void Abort() override { *m_aborted = true; }

 private:
  ScopedSocket m_socket;
  uint16_t m_nPort;
  // Shared with the connections, which may outlive the port.
  std::shared_ptr<AbortFlag> m_aborted = std::make_shared<AbortFlag>(false);
};

class Win32Listener : public Listener {
 public:
  std::unique_ptr<LoopbackPort> Listen() override {
    if (!StartWinsock()) return nullptr;
    ScopedSocket listening(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    // No other program may bind the same port and take the browser's redirect.
    BOOL exclusive = TRUE;
    if (!listening.Valid() ||
        setsockopt(listening.Get(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
                   reinterpret_cast<const char*>(&exclusive), sizeof exclusive) != 0 ||
        bind(listening.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(listening.Get(), SOMAXCONN) != 0 || !NonBlocking(listening.Get()) ||
        getsockname(listening.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      listening.Reset();
      WSACleanup();
      return nullptr;
    }
    return std::make_unique<Win32Port>(std::move(listening), ntohs(address.sin_port));
  }
};

}  // namespace

std::shared_ptr<Listener> CreateWin32Listener() { return std::make_shared<Win32Listener>(); }
