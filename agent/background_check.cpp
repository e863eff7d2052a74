#include "agent/background_check.h"

#include <thread>
#include <utility>

std::shared_ptr<BackgroundCheck> BackgroundCheck::Start(Platform& platform, WindowHandle window,
                                                        unsigned message,
                                                        std::unique_ptr<Transport> transport,
                                                        const Pop3Account& account,
                                                        int timeoutMs, NewMailBasis basis) {
  const std::shared_ptr<BackgroundCheck> check(
      new BackgroundCheck(platform, window, message, std::move(transport)));
  // Never joined: at exit the program must not wait for a server that does
  // not answer, and the thread keeps what it uses alive itself.
  std::thread([check, account, timeoutMs, basis = std::move(basis)] {
    check->Run(account, timeoutMs, basis);
  }).detach();
  return check;
}

BackgroundCheck::BackgroundCheck(Platform& platform, WindowHandle window, unsigned message,
                                 std::unique_ptr<Transport> transport)
    : m_pPlatform(&platform),
      m_hWindow(window),
      m_nMessage(message),
      m_pTransport(std::move(transport)) {}

std::optional<CheckOutcome> BackgroundCheck::TakeOutcome() {
  const std::lock_guard<std::mutex> lock(m_mutex);
  std::optional<CheckOutcome> outcome;
  outcome.swap(m_pending);
  return outcome;
}

bool BackgroundCheck::Ended() {
  const std::lock_guard<std::mutex> lock(m_mutex);
  return m_bEnded && !m_pending;
}

void BackgroundCheck::Presented() {
  const std::lock_guard<std::mutex> lock(m_mutex);
  m_bWaitingForPresentation = false;
  m_presented.notify_all();
}

void BackgroundCheck::Abandon() {
  const std::lock_guard<std::mutex> lock(m_mutex);
  m_pPlatform = nullptr;
  m_pending.reset();
  if (m_pTransport) m_pTransport->Abort();
  m_presented.notify_all();
}

// The transport goes before the last outcome is announced, so that nothing of
// the connection is still in use once the frame has seen the end.
void BackgroundCheck::Run(const Pop3Account& account, int timeoutMs, const NewMailBasis& basis) {
  const CheckOutcome last = RunMailCheck(*m_pTransport, account, timeoutMs, *this, basis);
  const std::lock_guard<std::mutex> lock(m_mutex);
  m_pTransport.reset();
  m_bEnded = true;
  Announce(last);
}

void BackgroundCheck::PresentBeforeQuit(const CheckOutcome& outcome) {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_bWaitingForPresentation = true;
  Announce(outcome);
  m_presented.wait(lock, [this] { return !m_bWaitingForPresentation || !m_pPlatform; });
}

void BackgroundCheck::Announce(const CheckOutcome& outcome) {
  if (!m_pPlatform) return;
  m_pending = outcome;
  m_pPlatform->PostToWindow(m_hWindow, m_nMessage);
}
