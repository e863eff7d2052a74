#include "agent/background_check.h"

#include <chrono>
#include <thread>
#include <utility>

namespace {

std::string OutcomeText(const CheckOutcome& outcome) {
  switch (outcome.kind) {
    case OutcomeKind::kMailboxCount:
      return "mailbox count " + outcome.countText;
    case OutcomeKind::kUserRejected:
      return "user name rejected";
    case OutcomeKind::kPasswordRejected:
      return "password rejected";
    case OutcomeKind::kEnded:
      return "ended";
    default:
      return "failed at step " + std::to_string(outcome.result);
  }
}

}  // namespace

std::shared_ptr<BackgroundCheck> BackgroundCheck::Start(Platform& platform, WindowHandle window,
                                                        unsigned message,
                                                        std::unique_ptr<Transport> transport,
                                                        const MailAccount& account, int timeoutMs,
                                                        std::shared_ptr<EventLog> log,
                                                        NewMailBasis basis) {
  const std::shared_ptr<BackgroundCheck> check(
      new BackgroundCheck(platform, window, message, std::move(transport), std::move(log)));
  // Never joined: at exit the program must not wait for a server that does
  // not answer, and the thread keeps what it uses alive itself.
  std::thread([check, account, timeoutMs, basis = std::move(basis)] {
    check->Run(account, timeoutMs, basis);
  }).detach();
  return check;
}

BackgroundCheck::BackgroundCheck(Platform& platform, WindowHandle window, unsigned message,
                                 std::unique_ptr<Transport> transport,
                                 std::shared_ptr<EventLog> log)
    : m_pPlatform(&platform),
      m_hWindow(window),
      m_nMessage(message),
      m_pTransport(std::move(transport)),
      m_pLog(std::move(log)) {}

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
void BackgroundCheck::Run(const MailAccount& account, int timeoutMs, const NewMailBasis& basis) {
  const auto started = std::chrono::steady_clock::now();
  if (m_pLog) m_pLog->Add("check starts");
  const CheckOutcome last = RunMailCheck(*m_pTransport, account, timeoutMs, *this, basis, m_pLog.get());
  if (m_pLog) {
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started);
    m_pLog->Add("check ends: " + OutcomeText(last) + " after " + std::to_string(took.count()) +
                " ms");
    m_pLog->Flush();
  }
  const std::lock_guard<std::mutex> lock(m_mutex);
  m_pTransport.reset();
  m_bEnded = true;
  Announce(last);
}

void BackgroundCheck::PresentBeforeQuit(const CheckOutcome& outcome) {
  if (m_pLog) {
    m_pLog->Add("outcome: " + OutcomeText(outcome));
    m_pLog->Flush();
  }
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
