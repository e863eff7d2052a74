#include "tests/double/scripted_tls.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/tls_stream.h"

namespace {

// The first record of input: false when it is not all there yet.
bool FirstRecord(const std::string& input, char& type, std::string& payload, size_t& size) {
  if (input.size() < 5) return false;
  const size_t length = std::stoul(input.substr(1, 4), nullptr, 16);
  if (input.size() < 5 + length) return false;
  type = input[0];
  payload = input.substr(5, length);
  size = 5 + length;
  return true;
}

class ScriptedProvider : public SecurityProvider {
 public:
  TlsStatus Start(const std::string&, std::string& output) override {
    output = Record('h', "hello");
    return TlsStatus::kContinue;
  }
  TlsStatus Continue(std::string& input, std::string& output, size_t& extra) override {
    if (m_bHelloRequested) {
      m_bHelloRequested = false;
      extra = input.size();
      output = Record('h', "hello again");
      return TlsStatus::kContinue;
    }
    char type;
    std::string message;
    size_t size;
    if (!FirstRecord(input, type, message, size)) return TlsStatus::kIncompleteMessage;
    if (type != 'H' && type != 'T') return TlsStatus::kFailed;
    if (message == "credentials always" || (message == "credentials" && !m_bAsked)) {
      m_bAsked = true;
      return TlsStatus::kIncompleteCredentials;
    }
    extra = input.size() - size;
    if (message == "untrusted") m_bTrusted = false;
    if (message != "continue") return TlsStatus::kOk;
    output = Record('h', "finished");
    return TlsStatus::kContinue;
  }
  TlsStatus Decrypt(std::string& input, std::string& plain, size_t& extra) override {
    char type;
    std::string data;
    size_t size;
    if (!FirstRecord(input, type, data, size)) return TlsStatus::kIncompleteMessage;
    extra = input.size() - size;
    switch (type) {
      case 'D':
        plain += data;
        return TlsStatus::kOk;
      case 'T':
        // A HelloRequest is taken in; any other message is handed back.
        m_bHelloRequested = data == "hello request";
        if (!m_bHelloRequested) extra = input.size();
        return TlsStatus::kRenegotiate;
      case 'C':
        return TlsStatus::kClosed;
      default:
        return TlsStatus::kFailed;
    }
  }
  size_t MaxRecordData() override { return 16384; }
  bool Encrypt(const std::string& data, std::string& record) override {
    record = Record('D', data);
    return true;
  }
  bool PeerTrusted(const std::string&, int) override { return m_bTrusted; }
  bool Shutdown(std::string& output) override {
    output = Record('C', "");
    return true;
  }

 private:
  bool m_bAsked = false;
  bool m_bHelloRequested = false;
  bool m_bTrusted = true;
};

class WireTransport : public Transport, private RawChannel {
 public:
  WireTransport(std::vector<MemoryServer::Chunk> wire, bool byteAtATime,
                std::vector<std::string>& commands)
      : m_wire(std::move(wire)), m_bByteAtATime(byteAtATime), m_commands(commands) {}

  bool Startup() override { return true; }
  bool Resolve(const std::string&, uint16_t, int) override { return true; }
  ConnectResult Connect(int) override { return ConnectResult::kConnected; }
  SecureResult StartSecure(const std::string& serverName, int timeoutMs) override {
    m_tls = std::make_unique<TlsStream>(static_cast<RawChannel&>(*this),
                                        std::make_unique<ScriptedProvider>());
    return m_tls->Handshake(serverName, timeoutMs);
  }
  bool Send(const std::string& bytes, int timeoutMs) override {
    const bool sent = !m_tls || m_tls->Send(bytes, timeoutMs);
    if (sent) m_commands.push_back(bytes.substr(0, bytes.find('\r')));
    return sent;
  }
  int Receive(char* buffer, int capacity, int timeoutMs) override {
    return m_tls ? m_tls->Receive(buffer, capacity, timeoutMs)
                 : ReceiveRaw(buffer, capacity, timeoutMs);
  }
  bool TrustLost() override { return m_tls && m_tls->TrustLost(); }
  void Abort() override {}
  void InterruptReceive() override {}
  void ResumeReceive() override {}
  bool KeepAlive(int, int) override { return true; }
  bool CloseSocket() override {
    if (m_tls) m_tls->Close(0);
    return true;
  }
  bool Cleanup() override { return true; }

 private:
  // What the client sends goes nowhere; the commands were noted by Send.
  bool SendRaw(const char*, size_t, int) override { return true; }
  int ReceiveRaw(char* buffer, int capacity, int) override {
    while (m_nChunk < m_wire.size() && m_nOffset == m_wire[m_nChunk].bytes.size()) {
      ++m_nChunk;
      m_nOffset = 0;
    }
    if (m_nChunk == m_wire.size()) return 0;
    const MemoryServer::Chunk& chunk = m_wire[m_nChunk];
    if (chunk.afterCommands > m_commands.size()) return -1;
    const size_t count = std::min<size_t>(m_bByteAtATime ? 1 : static_cast<size_t>(capacity),
                                          chunk.bytes.size() - m_nOffset);
    std::memcpy(buffer, chunk.bytes.data() + m_nOffset, count);
    m_nOffset += count;
    return static_cast<int>(count);
  }

  std::vector<MemoryServer::Chunk> m_wire;
  bool m_bByteAtATime;
  std::vector<std::string>& m_commands;
  size_t m_nChunk = 0;
  size_t m_nOffset = 0;
  std::unique_ptr<TlsStream> m_tls;
};

}  // namespace

std::string Record(char type, const std::string& payload) {
  char length[5];
  std::snprintf(length, sizeof length, "%04zx", payload.size());
  return type + std::string(length) + payload;
}

std::unique_ptr<Transport> ScriptedTlsTransport(std::vector<MemoryServer::Chunk> wire,
                                                bool byteAtATime,
                                                std::vector<std::string>& commands) {
  return std::make_unique<WireTransport>(std::move(wire), byteAtATime, commands);
}
