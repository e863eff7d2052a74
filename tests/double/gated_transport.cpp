#include "tests/double/gated_transport.h"

#include <atomic>

class GatedTransport : public Transport {
 public:
  GatedTransport(GatedServer& server, std::unique_ptr<Transport> inner)
      : m_server(server), m_inner(std::move(inner)) {}
  ~GatedTransport() override {
    m_inner.reset();
    m_server.SessionEnded();
  }

  bool Startup() override { return m_inner->Startup(); }
  bool Resolve(const std::string& host, uint16_t port, int timeoutMs) override {
    return Pass("resolve") && m_inner->Resolve(host, port, timeoutMs);
  }
  ConnectResult Connect(int timeoutMs) override {
    return Pass("connect") ? m_inner->Connect(timeoutMs) : ConnectResult::kFailed;
  }
  SecureResult StartSecure(const std::string& serverName, int timeoutMs) override {
    return Pass("secure") ? m_inner->StartSecure(serverName, timeoutMs)
                                   : SecureResult::kHandshakeFailed;
  }
  bool Send(const std::string& bytes, int timeoutMs) override {
    const std::string line = bytes.substr(0, bytes.find('\r'));
    return Pass("send " + line) && m_inner->Send(bytes, timeoutMs);
  }
  // A poll never waits, so it is not a step.
  int Receive(char* buffer, int capacity, int timeoutMs) override {
    if (timeoutMs > 0 && !Pass("receive")) return -1;
    if (m_bAborted) return -1;
    return m_inner->Receive(buffer, capacity, timeoutMs);
  }
  // Only this session's steps fail from now on, also when a newer one runs.
  void Abort() override {
    m_bAborted = true;
    m_server.Abort();
  }
  void InterruptReceive() override { m_inner->InterruptReceive(); }
  void ResumeReceive() override { m_inner->ResumeReceive(); }
  bool KeepAlive(int idleS, int intervalS) override { return m_inner->KeepAlive(idleS, intervalS); }
  bool CloseSocket() override { return m_inner->CloseSocket(); }
  bool Cleanup() override { return m_inner->Cleanup(); }

 private:
  bool Pass(const std::string& step) { return m_server.Pass(step, m_bAborted); }

  GatedServer& m_server;
  std::unique_ptr<Transport> m_inner;
  std::atomic<bool> m_bAborted{false};
};

std::unique_ptr<Transport> GatedServer::NewSession() {
  {
    const std::lock_guard<std::mutex> lock(m_mutex);
    ++m_nLive;
    m_bAborted = false;
  }
  return std::make_unique<GatedTransport>(*this, script.NewSession());
}

std::string GatedServer::WaitForStep() {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_changed.wait(lock, [this] { return !m_waiting.empty(); });
  return m_waiting;
}

void GatedServer::Release() {
  std::unique_lock<std::mutex> lock(m_mutex);
  const int passed = m_nPassed;
  m_bReleased = true;
  m_changed.notify_all();
  m_changed.wait(lock, [this, passed] { return m_nPassed != passed; });
}

void GatedServer::ReleaseUntil(const std::string& step) {
  while (WaitForStep() != step) Release();
}

void GatedServer::WaitUntilSessionsEnd() {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_changed.wait(lock, [this] { return m_nLive == 0; });
}

bool GatedServer::Aborted() {
  const std::lock_guard<std::mutex> lock(m_mutex);
  return m_bAborted;
}

bool GatedServer::Pass(const std::string& step, const std::atomic<bool>& aborted) {
  std::unique_lock<std::mutex> lock(m_mutex);
  if (aborted) return false;
  m_waiting = step;
  m_changed.notify_all();
  m_changed.wait(lock, [this, &aborted] { return m_bReleased || aborted; });
  m_bReleased = false;
  m_waiting.clear();
  ++m_nPassed;
  m_changed.notify_all();
  return !aborted;
}

void GatedServer::Abort() {
  const std::lock_guard<std::mutex> lock(m_mutex);
  m_bAborted = true;
  m_changed.notify_all();
}

void GatedServer::SessionEnded() {
  const std::lock_guard<std::mutex> lock(m_mutex);
  --m_nLive;
  m_changed.notify_all();
}
