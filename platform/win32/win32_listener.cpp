#include "platform/win32/win32_services.h"

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
  Win32Connection(SOCKET socket, std::shared_ptr<AbortFlag> aborted)
      : m_socket(socket), m_aborted(std::move(aborted)) {}
  ~Win32Connection() override { closesocket(m_socket); }
  Win32Connection(const Win32Connection&) = delete;
  Win32Connection& operator=(const Win32Connection&) = delete;

  int Receive(char* buffer, int capacity, int timeoutMs) override {
    if (!WaitReady(m_socket, false, timeoutMs, *m_aborted)) return -1;
    const int received = recv(m_socket, buffer, capacity, 0);
    return received < 0 ? -1 : received;
  }

  bool Send(const std::string& bytes, int timeoutMs) override {
    for (size_t done = 0; done < bytes.size();) {
      const int sent = send(m_socket, bytes.data() + done, static_cast<int>(bytes.size() - done), 0);
      if (sent > 0) {
        done += static_cast<size_t>(sent);
      } else if (sent == 0 || WSAGetLastError() != WSAEWOULDBLOCK ||
                 !WaitReady(m_socket, true, timeoutMs, *m_aborted)) {
        return false;
      }
    }
    // The answer is all there is: the browser sees its end at once.
    shutdown(m_socket, SD_SEND);
    return true;
  }

 private:
  SOCKET m_socket;
  std::shared_ptr<AbortFlag> m_aborted;
};

class Win32Port : public LoopbackPort {
 public:
  Win32Port(SOCKET socket, uint16_t port) : m_socket(socket), m_nPort(port) {}
  ~Win32Port() override {
    closesocket(m_socket);
    WSACleanup();
  }
  Win32Port(const Win32Port&) = delete;
  Win32Port& operator=(const Win32Port&) = delete;

  uint16_t Port() const override { return m_nPort; }

  std::unique_ptr<LoopbackConnection> Accept(int timeoutMs) override {
    if (!WaitReady(m_socket, false, timeoutMs, *m_aborted)) return nullptr;
    const SOCKET accepted = accept(m_socket, nullptr, nullptr);
    if (accepted == INVALID_SOCKET) return nullptr;
    if (!NonBlocking(accepted)) {
      closesocket(accepted);
      return nullptr;
    }
    return std::make_unique<Win32Connection>(accepted, m_aborted);
  }

  void Abort() override { *m_aborted = true; }

 private:
  SOCKET m_socket;
  uint16_t m_nPort;
  // Shared with the connections, which may outlive the port.
  std::shared_ptr<AbortFlag> m_aborted = std::make_shared<AbortFlag>(false);
};

class Win32Listener : public Listener {
 public:
  std::unique_ptr<LoopbackPort> Listen() override {
    if (!StartWinsock()) return nullptr;
    const SOCKET listening = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    // No other program may bind the same port and take the browser's redirect.
    BOOL exclusive = TRUE;
    if (listening == INVALID_SOCKET ||
        setsockopt(listening, SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
                   reinterpret_cast<const char*>(&exclusive), sizeof exclusive) != 0 ||
        bind(listening, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(listening, SOMAXCONN) != 0 || !NonBlocking(listening) ||
        getsockname(listening, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      if (listening != INVALID_SOCKET) closesocket(listening);
      WSACleanup();
      return nullptr;
    }
    return std::make_unique<Win32Port>(listening, ntohs(address.sin_port));
  }
};

}  // namespace

std::shared_ptr<Listener> CreateWin32Listener() { return std::make_shared<Win32Listener>(); }
