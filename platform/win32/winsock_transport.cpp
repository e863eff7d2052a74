#include "platform/win32/winsock_transport.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>
#include <vector>

#include "platform/address_lookup.h"
#include "platform/bounded_call.h"
#include "platform/win32/schannel_stream.h"

namespace {

constexpr WORD kWinsockVersion = MAKEWORD(2, 2);

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

class WinsockTransport : public Transport, private RawChannel {
 public:
  ~WinsockTransport() override { CloseSocket(); }

  bool Startup() override { return StartWinsock(); }

  // getaddrinfo has no time limit of its own, so it runs on a thread of its
  // own; a literal address comes back without any network traffic.
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
      m_socket = socket(address.storage.ss_family, SOCK_STREAM, IPPROTO_TCP);
      if (m_socket == INVALID_SOCKET) continue;
      anySocket = true;
      if (ConnectTo(address, timeoutMs)) return ConnectResult::kConnected;
    }
    return anySocket ? ConnectResult::kFailed : ConnectResult::kNoSocket;
  }

  SecureResult StartSecure(const std::string& serverName, int timeoutMs) override {
    if (m_bAborted) return SecureResult::kHandshakeFailed;
    m_tls = std::make_unique<SchannelStream>(static_cast<RawChannel&>(*this));
    const SecureResult result = m_tls->Handshake(serverName, timeoutMs);
    if (result != SecureResult::kSecured) m_tls.reset();
    return result;
  }

  void Abort() override {
    m_bAborted = true;
    const SOCKET socket = m_socket;
    if (socket != INVALID_SOCKET) shutdown(socket, SD_BOTH);
  }

  bool Send(const std::string& bytes, int timeoutMs) override {
    if (m_bAborted) return false;
    if (m_tls) return m_tls->Send(bytes, timeoutMs);
    return SendRaw(bytes.data(), bytes.size(), timeoutMs);
  }

  int Receive(char* buffer, int capacity, int timeoutMs) override {
    if (m_tls) return m_bAborted ? -1 : m_tls->Receive(buffer, capacity, timeoutMs);
    return ReceiveRaw(buffer, capacity, timeoutMs);
  }

  bool CloseSocket() override {
    m_tls.reset();
    if (m_socket == INVALID_SOCKET) return true;
    const int result = closesocket(m_socket);
    m_socket = INVALID_SOCKET;
    return result == 0;
  }

  bool Cleanup() override { return WSACleanup() == 0; }

 private:
  bool SendRaw(const char* bytes, size_t count, int timeoutMs) override {
    size_t done = 0;
    while (done < count) {
      if (m_bAborted || !WaitFor(m_socket, true, timeoutMs)) return false;
      const int sent = send(m_socket, bytes + done, static_cast<int>(count - done), 0);
      if (sent <= 0) return false;
      done += static_cast<size_t>(sent);
    }
    return true;
  }

  int ReceiveRaw(char* buffer, int capacity, int timeoutMs) override {
    if (m_bAborted || !WaitFor(m_socket, false, timeoutMs)) return -1;
    const int received = recv(m_socket, buffer, capacity, 0);
    return received == SOCKET_ERROR || m_bAborted ? -1 : received;
  }

  bool ConnectTo(const SocketAddress& address, int timeoutMs) {
    u_long nonBlocking = 1;
    if (ioctlsocket(m_socket, FIONBIO, &nonBlocking) != 0) return false;
    bool connected =
        connect(m_socket, reinterpret_cast<const sockaddr*>(&address.storage), address.length) == 0;
    if (!connected && WSAGetLastError() == WSAEWOULDBLOCK)
      connected = WaitFor(m_socket, true, timeoutMs);
    u_long blocking = 0;
    return ioctlsocket(m_socket, FIONBIO, &blocking) == 0 && connected && !m_bAborted;
  }

  std::atomic<SOCKET> m_socket{INVALID_SOCKET};
  std::atomic<bool> m_bAborted{false};
  std::vector<SocketAddress> m_addresses;
  std::unique_ptr<SchannelStream> m_tls;
};

}  // namespace

std::unique_ptr<Transport> CreateWinsockTransport() { return std::make_unique<WinsockTransport>(); }

bool StartWinsock() {
  WSADATA data;
  return WSAStartup(kWinsockVersion, &data) == 0;
}
