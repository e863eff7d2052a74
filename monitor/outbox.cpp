#include "monitor/outbox.h"

void Outbox::WakeWindow(WindowHandle window) {
  const std::lock_guard<std::mutex> lock(m_mutex);
  m_hWindow = window;
}

// A failed post is made good by the next tick, which takes what waits here.
void Outbox::Put(const AccountOutcome& outcome) {
  const std::lock_guard<std::mutex> lock(m_mutex);
  if (!m_pPlatform) return;
  m_waiting.push_back(outcome);
  if (m_hWindow) m_pPlatform->PostToWindow(m_hWindow, m_nMessage);
}

std::vector<AccountOutcome> Outbox::TakeAll() {
  const std::lock_guard<std::mutex> lock(m_mutex);
  std::vector<AccountOutcome> taken(m_waiting.begin(), m_waiting.end());
  m_waiting.clear();
  return taken;
}

void Outbox::Close() {
  const std::lock_guard<std::mutex> lock(m_mutex);
  m_pPlatform = nullptr;
  m_waiting.clear();
}
