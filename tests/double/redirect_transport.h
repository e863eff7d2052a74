#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "platform/transport.h"

// A real socket transport whose connections to the POP3 port go to a test
// server's port instead, and whose waits are cut short so that tests of
// silent servers finish quickly.
class RedirectTransport : public Transport {
 public:
  RedirectTransport(std::unique_ptr<Transport> inner, uint16_t port, int timeoutMs)
      : m_inner(std::move(inner)), m_port(port), m_timeoutMs(timeoutMs) {}

  bool Startup() override { return m_inner->Startup(); }
  bool Resolve(const std::string& host, uint16_t, int timeoutMs) override {
    return m_inner->Resolve(host, m_port, Shorter(timeoutMs));
  }
  ConnectResult Connect(int timeoutMs) override { return m_inner->Connect(Shorter(timeoutMs)); }
  SecureResult StartSecure(const std::string& serverName, int timeoutMs) override {
    return m_inner->StartSecure(serverName, Shorter(timeoutMs));
  }
  void Abort() override { m_inner->Abort(); }
  void InterruptReceive() override { m_inner->InterruptReceive(); }
  void ResumeReceive() override { m_inner->ResumeReceive(); }
  bool KeepAlive(int idleS, int intervalS) override { return m_inner->KeepAlive(idleS, intervalS); }
  bool Send(const std::string& bytes, int timeoutMs) override {
    return m_inner->Send(bytes, Shorter(timeoutMs));
  }
  int Receive(char* buffer, int capacity, int timeoutMs) override {
    return m_inner->Receive(buffer, capacity, Shorter(timeoutMs));
  }
  bool CloseSocket() override { return m_inner->CloseSocket(); }
  bool Cleanup() override { return m_inner->Cleanup(); }

 private:
  int Shorter(int timeoutMs) const { return timeoutMs < m_timeoutMs ? timeoutMs : m_timeoutMs; }

  std::unique_ptr<Transport> m_inner;
  uint16_t m_port;
  int m_timeoutMs;
};
