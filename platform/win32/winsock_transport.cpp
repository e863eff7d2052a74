#include "platform/win32/winsock_transport.h"

#include <winsock.h>

#include <atomic>
#include <cstring>

namespace {

constexpr WORD kWinsockVersion = 0x0101;

// Waits until the socket is ready for the kind of call given; false when the
// time ran out or the socket failed.
bool WaitFor(SOCKET socket, bool forWriting, int timeoutMs) {
  fd_set ready, failed;
  FD_ZERO(&ready);
  FD_ZERO(&failed);
  FD_SET(socket, &ready);
  FD_SET(socket, &failed);
  timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  const int count =
      select(0, forWriting ? nullptr : &ready, forWriting ? &ready : nullptr, &failed, &limit);
  return count > 0 && FD_ISSET(socket, &ready) && !FD_ISSET(socket, &failed);
}

class WinsockTransport : public Transport {
 public:
  ~WinsockTransport() override { CloseSocket(); }

  bool Startup() override { return StartWinsock(); }

  // A dotted address is taken as it is: name resolution is not required to
  // understand one.
  bool Resolve(const std::string& host, uint16_t port, int) override {
    std::memset(&m_address, 0, sizeof m_address);
    m_address.sin_family = AF_INET;
    m_address.sin_port = htons(port);
    m_address.sin_addr.s_addr = inet_addr(host.c_str());
    if (m_address.sin_addr.s_addr != INADDR_NONE) return true;
    const hostent* found = gethostbyname(host.c_str());
    if (!found || found->h_addrtype != AF_INET || !found->h_addr_list[0]) return false;
    std::memcpy(&m_address.sin_addr, found->h_addr_list[0], sizeof m_address.sin_addr);
    return true;
  }

  ConnectResult Connect(int timeoutMs) override {
    m_socket = socket(AF_INET, SOCK_STREAM, 0);
    if (m_socket == INVALID_SOCKET) return ConnectResult::kNoSocket;
    u_long nonBlocking = 1;
    if (ioctlsocket(m_socket, FIONBIO, &nonBlocking) != 0) return ConnectResult::kFailed;
    bool connected =
        connect(m_socket, reinterpret_cast<const sockaddr*>(&m_address), sizeof m_address) == 0;
    if (!connected && WSAGetLastError() == WSAEWOULDBLOCK)
      connected = WaitFor(m_socket, true, timeoutMs);
    u_long blocking = 0;
    return ioctlsocket(m_socket, FIONBIO, &blocking) == 0 && connected && !m_bAborted
               ? ConnectResult::kConnected
               : ConnectResult::kFailed;
  }

  SecureResult StartSecure(const std::string&, int) override {
    return SecureResult::kHandshakeFailed;
  }

  void Abort() override {
    m_bAborted = true;
    const SOCKET socket = m_socket;
    if (socket != INVALID_SOCKET) shutdown(socket, 2);
  }

  bool Send(const std::string& bytes, int timeoutMs) override {
    if (m_bAborted) return false;
    size_t done = 0;
    while (done < bytes.size()) {
      if (!WaitFor(m_socket, true, timeoutMs)) return false;
      const int sent =
          send(m_socket, bytes.data() + done, static_cast<int>(bytes.size() - done), 0);
      if (sent <= 0) return false;
      done += static_cast<size_t>(sent);
    }
    return true;
  }

  int Receive(char* buffer, int capacity, int timeoutMs) override {
    if (m_bAborted || !WaitFor(m_socket, false, timeoutMs)) return -1;
    const int received = recv(m_socket, buffer, capacity, 0);
    return received == SOCKET_ERROR || m_bAborted ? -1 : received;
  }

  bool CloseSocket() override {
    if (m_socket == INVALID_SOCKET) return true;
    const int result = closesocket(m_socket);
    m_socket = INVALID_SOCKET;
    return result == 0;
  }

  bool Cleanup() override { return WSACleanup() == 0; }

 private:
  std::atomic<SOCKET> m_socket{INVALID_SOCKET};
  std::atomic<bool> m_bAborted{false};
  sockaddr_in m_address{};
};

}  // namespace

std::unique_ptr<Transport> CreateWinsockTransport() { return std::make_unique<WinsockTransport>(); }

bool StartWinsock() {
  WSADATA data;
  return WSAStartup(kWinsockVersion, &data) == 0;
}
