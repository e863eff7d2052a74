#include "platform/win32/winsock_transport.h"
#include "platform/win32/win32_services.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <mstcpip.h>
#include <windows.h>
#include <atomic>
#include <utility>
#include <vector>

#include "platform/address_lookup.h"
#include "platform/connect_race.h"
#include "platform/deadline.h"
#include "platform/tls_stream.h"
#include "platform/win32/scoped_handle.h"
#include "platform/win32/schannel_stream.h"

namespace {

constexpr WORD kWinsockVersion = MAKEWORD(2, 2);
// How long a close_notify may take at the end of a conversation.
constexpr int kCloseNotifyMs = 1000;

// A socket with the event its network events are reported on; the socket is
// non-blocking from the start, so that every wait can also watch for Abort.
struct EventSocket {
  ScopedSocket socket;
  ScopedSocketEvent event;
  bool refused = false;  // failed as the connect was made

  void Close() {
    socket.Reset();
    event.Reset();
    refused = false;
  }
};

class WinsockTransport : public Transport, private RawChannel, private ConnectAttempts {
 public:
  WinsockTransport()
      : m_abortEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
        m_interruptEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  ~WinsockTransport() override { CloseSocket(); }
  WinsockTransport(const WinsockTransport&) = delete;
  WinsockTransport& operator=(const WinsockTransport&) = delete;

  bool Startup() override {
    return m_abortEvent.Valid() && m_interruptEvent.Valid() && StartWinsock();
  }

  // getaddrinfo has no time limit of its own, so it runs on a thread of its
  // own; a literal address comes back without any network traffic.
  bool Resolve(const std::string& host, uint16_t port, int timeoutMs) override {
    return LookUpAddresses(host, port, timeoutMs, m_bAborted, m_addresses);
  }

  ConnectResult Connect(int timeoutMs) override {
    CloseSocket();
    // One wait watches every attempt and the abort event.
    if (m_addresses.size() >= MAXIMUM_WAIT_OBJECTS) m_addresses.resize(MAXIMUM_WAIT_OBJECTS - 1);
    m_attempts.clear();
    m_attempts.resize(m_addresses.size());
    size_t winner = 0;
    m_tried.clear();
    m_strConnected.clear();
    const ConnectResult result =
        RaceConnects(*this, m_addresses.size(), Deadline(timeoutMs), m_bAborted, winner);
    if (result != ConnectResult::kConnected) return result;
    m_strConnected = AddressText(m_addresses[winner]);
    std::swap(m_connection, m_attempts[winner]);
    return WSAEventSelect(m_connection.socket.Get(), m_connection.event.Get(), FD_READ | FD_WRITE | FD_CLOSE) ==
                   0
               ? result
               : ConnectResult::kFailed;
  }

  SecureResult StartSecure(const std::string& serverName, int timeoutMs) override {
    if (m_bAborted) return SecureResult::kHandshakeFailed;
    m_tls = std::make_unique<TlsStream>(static_cast<RawChannel&>(*this), CreateSchannelProvider());
    const SecureResult result = m_tls->Handshake(serverName, timeoutMs);
    m_strTls = m_tls->Description();
    if (result != SecureResult::kSecured) m_tls.reset();
    return result;
  }

  std::string Note() override {
    const std::string attempts = AttemptsNote(m_tried, m_strConnected);
    return m_strTls.empty() ? attempts : attempts + "; " + m_strTls;
  }

  // Touches no socket: every wait also watches the event, so nothing can
  // meet a handle the check's thread has just closed.
  void Abort() override {
    m_bAborted = true;
    SetEvent(m_abortEvent.Get());
  }

  void InterruptReceive() override {
    m_bInterrupted = true;
    SetEvent(m_interruptEvent.Get());
  }
  void ResumeReceive() override {
    m_bInterrupted = false;
    ResetEvent(m_interruptEvent.Get());
  }

  bool KeepAlive(int idleS, int intervalS) override {
    tcp_keepalive settings{1, static_cast<ULONG>(idleS) * 1000, static_cast<ULONG>(intervalS) * 1000};
    DWORD returned = 0;
    return WSAIoctl(m_connection.socket.Get(), SIO_KEEPALIVE_VALS, &settings, sizeof settings, nullptr,
                    0, &returned, nullptr, nullptr) == 0;
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

  bool TrustLost() override { return m_bTrustLost || (m_tls && m_tls->TrustLost()); }

  bool CloseSocket() override {
    if (m_tls && !m_bAborted) m_tls->Close(kCloseNotifyMs);
    m_bTrustLost = TrustLost();
    m_tls.reset();
    for (EventSocket& attempt : m_attempts) attempt.Close();
    if (!m_connection.socket.Valid()) return true;
    const int result = closesocket(m_connection.socket.Release());
    m_connection.Close();
    return result == 0;
  }

  bool Cleanup() override { return WSACleanup() == 0; }

 private:
  // Waits up to timeoutMs for a network event of the connection; false when
  // the time ran out, the transport was aborted or, for a receive, receiving
  // was interrupted.
  bool WaitForEvent(int timeoutMs, bool receiving) {
    if (timeoutMs <= 0 || m_bAborted || (receiving && m_bInterrupted)) return false;
    const HANDLE handles[3] = {m_abortEvent.Get(), m_connection.event.Get(), m_interruptEvent.Get()};
    if (WaitForMultipleObjects(receiving ? 3 : 2, handles, FALSE, static_cast<DWORD>(timeoutMs)) !=
        WAIT_OBJECT_0 + 1)
      return false;
    WSANETWORKEVENTS events;
    return WSAEnumNetworkEvents(m_connection.socket.Get(), m_connection.event.Get(), &events) == 0;
  }

  bool SendRaw(const char* bytes, size_t count, int timeoutMs) override {
    size_t done = 0;
    while (done < count) {
      if (m_bAborted) return false;
      const int sent = send(m_connection.socket.Get(), bytes + done, static_cast<int>(count - done), 0);
      if (sent > 0) {
        done += static_cast<size_t>(sent);
        continue;
      }
      if (sent == 0 || WSAGetLastError() != WSAEWOULDBLOCK || !WaitForEvent(timeoutMs, false))
        return false;
    }
    return true;
  }

  int ReceiveRaw(char* buffer, int capacity, int timeoutMs) override {
    const Deadline deadline(timeoutMs);
    for (;;) {
      if (m_bAborted || m_bInterrupted) return -1;
      const int received = recv(m_connection.socket.Get(), buffer, capacity, 0);
      if (received != SOCKET_ERROR) return m_bAborted ? -1 : received;
      if (WSAGetLastError() != WSAEWOULDBLOCK || !WaitForEvent(deadline.MsLeft(), true)) return -1;
    }
  }

  bool Begin(size_t index) override {
    const SocketAddress& address = m_addresses[index];
    m_tried.push_back(AddressText(address));
    EventSocket& attempt = m_attempts[index];
    attempt.socket.Reset(WSASocketW(address.storage.ss_family, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                                WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT));
    attempt.event.Reset(WSACreateEvent());
    if (!attempt.socket.Valid() || !attempt.event.Valid() ||
        WSAEventSelect(attempt.socket.Get(), attempt.event.Get(), FD_CONNECT) != 0) {
      attempt.Close();
      return false;
    }
    attempt.refused = connect(attempt.socket.Get(), reinterpret_cast<const sockaddr*>(&address.storage),
                              address.length) != 0 &&
                      WSAGetLastError() != WSAEWOULDBLOCK;
    return true;
  }

  bool WaitForOne(int timeoutMs, size_t& index, bool& connected) override {
    std::vector<HANDLE> handles{m_abortEvent.Get()};
    std::vector<size_t> indexes;
    for (size_t i = 0; i < m_attempts.size(); ++i) {
      if (!m_attempts[i].socket.Valid()) continue;
      if (m_attempts[i].refused) {
        index = i;
        connected = false;
        return true;
      }
      handles.push_back(m_attempts[i].event.Get());
      indexes.push_back(i);
    }
    const DWORD woken = WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(),
                                               FALSE, static_cast<DWORD>(timeoutMs));
    if (woken <= WAIT_OBJECT_0 || woken >= WAIT_OBJECT_0 + handles.size()) return false;
    index = indexes[woken - WAIT_OBJECT_0 - 1];
    WSANETWORKEVENTS events;
    if (WSAEnumNetworkEvents(m_attempts[index].socket.Get(), m_attempts[index].event.Get(), &events) != 0 ||
        !(events.lNetworkEvents & FD_CONNECT))
      return false;
    connected = events.iErrorCode[FD_CONNECT_BIT] == 0;
    return true;
  }

  void Drop(size_t index) override { m_attempts[index].Close(); }

  ScopedEvent m_abortEvent;
  std::atomic<bool> m_bAborted{false};
  ScopedEvent m_interruptEvent;
  std::atomic<bool> m_bInterrupted{false};
  std::vector<SocketAddress> m_addresses;
  std::vector<EventSocket> m_attempts;
  EventSocket m_connection;
  std::unique_ptr<TlsStream> m_tls;
  bool m_bTrustLost = false;
  // For the log.
  std::vector<std::string> m_tried;
  std::string m_strConnected;
  std::string m_strTls;
};

}  // namespace

std::unique_ptr<Transport> CreateWinsockTransport() { return std::make_unique<WinsockTransport>(); }

bool StartWinsock() {
  WSADATA data;
  return WSAStartup(kWinsockVersion, &data) == 0;
}

namespace {

class WinsockNetwork : public Network {
 public:
  bool Start() override { return StartWinsock(); }
  std::unique_ptr<Transport> NewTransport() override { return CreateWinsockTransport(); }
};

}  // namespace

std::shared_ptr<Network> CreateWinsockNetwork() { return std::make_shared<WinsockNetwork>(); }
