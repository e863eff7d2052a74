#include "monitor/push_watch.h"

namespace {

// A long wait for one receive: an idle account costs no wake-ups. The
// session renews IDLE within it by itself.
constexpr int kIdleWaitMs = 24 * 60 * 60 * 1000;

}  // namespace

void PushWatch::Ask(PushRequest request) {
  {
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_request != PushRequest::kReconnect) m_request = request;
  }
  m_session.Interrupt();
}

PushRequest PushWatch::TakeRequest() {
  const std::lock_guard<std::mutex> lock(m_mutex);
  const PushRequest request = m_request;
  m_request = PushRequest::kNone;
  return request;
}

// The count box never holds the connection: a count is handed over and the
// session goes back into IDLE at once. A connection that ends is opened
// again at once, once, with nothing presented unless it brings news.
void PushWatch::Run() {
  CheckOutcome outcome = m_open();
  for (;;) {
    if (outcome.kind != OutcomeKind::kMailboxCount) return m_tell(outcome, true);
    if (!m_bPush || !m_session.CanIdle()) {
      m_session.LogOut();
      return m_tell(outcome, true);
    }
    m_tell(outcome, false);
    IdleEnd end = m_session.Idle(kIdleWaitMs);
    while (end == IdleEnd::kTimeUp) end = m_session.Idle(kIdleWaitMs);
    const PushRequest request = TakeRequest();
    if (end == IdleEnd::kStopped) return;
    if (end == IdleEnd::kRefused) {
      m_session.LogOut();
      return m_tell(CheckOutcome(), true);
    }
    if (end == IdleEnd::kEnded || request == PushRequest::kReconnect) {
      outcome = m_open();
    } else {
      outcome = m_session.Recount();
      if (outcome.kind != OutcomeKind::kMailboxCount && outcome.kind != OutcomeKind::kEnded)
        outcome = m_open();
    }
  }
}
