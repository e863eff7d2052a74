#include "tests/double/memory_transport.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace {

class MemoryTransport : public Transport {
 public:
  explicit MemoryTransport(MemoryServer& server) : m_server(server), m_pLive(server.live) {
    const std::lock_guard<std::mutex> lock(m_pLive->mutex);
    ++m_pLive->sessions;
  }
  ~MemoryTransport() override {
    const std::lock_guard<std::mutex> lock(m_pLive->mutex);
    --m_pLive->sessions;
    m_pLive->ended.notify_all();
  }

  bool Startup() override {
    if (m_server.failingStep == "startup") return false;
    ++m_server.startups;
    return true;
  }
  bool Resolve(const std::string& host, uint16_t port, int) override {
    m_server.host = host;
    m_server.port = port;
    return m_server.failingStep != "resolve";
  }
  ConnectResult Connect(int) override {
    if (m_server.failingStep == "socket") return ConnectResult::kNoSocket;
    ++m_server.socketsOpened;
    m_bOpen = true;
    return m_server.failingStep == "connect" ? ConnectResult::kFailed : ConnectResult::kConnected;
  }
  std::string Note() override { return "tried " + m_server.host; }
  SecureResult StartSecure(const std::string& serverName, int) override {
    m_server.transcript.push_back("<TLS " + serverName + ">");
    return m_server.secureResult;
  }
  // As on a socket: every later step fails at once, so an abandoned check
  // ends and stops touching the server's record.
  void Abort() override { m_bAborted = true; }
  void InterruptReceive() override { m_bInterrupted = true; }
  void ResumeReceive() override { m_bInterrupted = false; }
  bool KeepAlive(int idleS, int intervalS) override {
    m_server.keepAlive = std::to_string(idleS) + "/" + std::to_string(intervalS);
    return true;
  }
  bool Send(const std::string& bytes, int) override {
    if (m_bAborted || ++m_nSends == m_server.failingSend) return false;
    std::string line = bytes;
    if (line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0)
      line.resize(line.size() - 2);
    m_server.transcript.push_back(line);
    ++m_nCommands;
    return true;
  }
  int Receive(char* buffer, int capacity, int) override {
    if (m_bAborted || m_bInterrupted) return -1;
    while (m_nChunk < m_server.chunks.size() &&
           m_nOffset == m_server.chunks[m_nChunk].bytes.size()) {
      ++m_nChunk;
      m_nOffset = 0;
    }
    if (m_nChunk == m_server.chunks.size())
      return m_server.end == MemoryServer::End::kClose ? 0 : -1;
    const MemoryServer::Chunk& chunk = m_server.chunks[m_nChunk];
    // A reply that needs a command not yet sent would never come: the wait times out.
    if (chunk.afterCommands > m_nCommands) return -1;
    const size_t count = std::min(static_cast<size_t>(capacity), chunk.bytes.size() - m_nOffset);
    std::memcpy(buffer, chunk.bytes.data() + m_nOffset, count);
    m_nOffset += count;
    return static_cast<int>(count);
  }
  bool CloseSocket() override {
    if (!m_bOpen) return true;
    m_bOpen = false;
    ++m_server.socketsClosed;
    return m_server.failingStep != "close";
  }
  bool Cleanup() override {
    ++m_server.cleanups;
    return m_server.failingStep != "cleanup";
  }

 private:
  MemoryServer& m_server;
  const std::shared_ptr<MemoryServer::Live> m_pLive;
  std::atomic<bool> m_bAborted{false};
  std::atomic<bool> m_bInterrupted{false};
  bool m_bOpen = false;
  int m_nSends = 0;
  size_t m_nCommands = 0;
  size_t m_nChunk = 0;
  size_t m_nOffset = 0;
};

}  // namespace

MemoryServer& MemoryServer::Reply(size_t afterCommands, const std::string& bytes) {
  chunks.push_back(Chunk{afterCommands, bytes});
  return *this;
}

MemoryServer MemoryServer::Standard(const std::string& statReply) {
  MemoryServer server;
  server.Reply(0, "+OK ready\r\n")
      .Reply(1, "+OK\r\n")
      .Reply(2, "+OK logged in\r\n")
      .Reply(3, statReply)
      .Reply(4, "-ERR no UIDL here\r\n")
      .Reply(5, "-ERR\r\n")
      .Reply(6, "-ERR\r\n")
      .Reply(7, "-ERR\r\n");
  return server;
}

void MemoryServer::WaitUntilSessionsEnd() {
  std::unique_lock<std::mutex> lock(live->mutex);
  live->ended.wait(lock, [this] { return live->sessions == 0; });
}

std::unique_ptr<Transport> MemoryServer::NewSession() {
  ++sessions;
  return std::make_unique<MemoryTransport>(*this);
}
