#include "check/imap/imap_session.h"

#include <algorithm>
#include <utility>

#include "check/imap/imap_mailbox.h"
#include "log/event_log.h"

namespace {

// TCP keep-alive of a held connection: a probe after a minute of silence,
// then every 10 s, so a connection a router dropped is noticed in minutes.
constexpr int kKeepAliveIdleS = 60;
constexpr int kKeepAliveIntervalS = 10;
// The last words go out without waiting for an answer, so they may not hold
// up the end of the program.
constexpr int kGoodbyeMs = 250;
// A wait's timer may end a little before its limit.
constexpr int kTimerSlackMs = 20;

bool Unsendable(const MailAccount& account) {
  const std::string forbidden("\r\n\0", 3);
  return account.user.find_first_of(forbidden) != std::string::npos ||
         account.password.find_first_of(forbidden) != std::string::npos;
}

}  // namespace

ImapSession::ImapSession(Transport& transport, MailAccount account, NewMailBasis basis,
                         EventLog* log, ImapTimes times)
    : m_transport(transport),
      m_account(std::move(account)),
      m_basis(std::move(basis)),
      m_pLog(log),
      m_times(times) {}

CheckOutcome ImapSession::Open() {
  if (StopAsked()) return CheckOutcome();
  Drop();
  // Never sent, so no server is asked and no retry can mend it.
  if (Unsendable(m_account)) return FailedAt(kCheckLoginUnsendable);
  m_connection.emplace(m_transport);
  LoginForm form = LoginForm::kUnknown;
  CheckOutcome told = ReachAndLogIn(m_transport, *m_connection, m_account, m_times.replyMs, m_pLog,
                                    m_channel, m_capabilities, form);
  Advise(told, m_account.server);
  if (told.kind == OutcomeKind::kEnded) {
    {
      const std::lock_guard<std::mutex> lock(m_mutex);
      m_bHeld = true;
    }
    m_transport.KeepAlive(kKeepAliveIdleS, kKeepAliveIntervalS);
    told = Count();
    told.loginForm = form;
  }
  return Finish(std::move(told));
}

bool ImapSession::Held() {
  const std::lock_guard<std::mutex> lock(m_mutex);
  return m_bHeld;
}

bool ImapSession::CanIdle() { return Held() && m_capabilities.idle; }

CheckOutcome ImapSession::Recount() {
  TakeAsked();
  if (!Held()) return StopAsked() ? CheckOutcome() : FailedAt(kCheckMailboxFailed);
  return Finish(Count());
}

CheckOutcome ImapSession::Count() {
  if (StopAsked()) return FailedAt(kCheckMailboxFailed);
  CheckOutcome counted = CountInbox(*m_channel, m_capabilities.esearch, m_basis);
  if (counted.kind == OutcomeKind::kMailboxCount) m_basis.seen = counted.seen;
  return counted;
}

CheckOutcome ImapSession::Finish(CheckOutcome told) {
  if (told.result == kCheckCompleted) return told;
  if (StopAsked()) {
    Stopped(false);
    return CheckOutcome();
  }
  Drop();
  // A certificate that stops verifying when the server renegotiates makes
  // it untrusted, whichever step that cut short.
  return m_transport.TrustLost() ? FailedAt(kCheckUntrusted) : told;
}

IdleEnd ImapSession::Idle(int maxWaitMs) {
  if (StopAsked()) return Stopped(false);
  if (!Held()) return IdleEnd::kEnded;
  if (m_channel->SaidBye()) return Ended();
  if (m_channel->TakeChange()) return IdleEnd::kChanged;
  if (TakeAsked()) return IdleEnd::kAsked;
  const Deadline limit(maxWaitMs);
  for (;;) {
    switch (m_channel->StartIdle()) {
      case ImapStatus::kOk:
        break;
      case ImapStatus::kNone:
        // Stopped before its "+": the server is in IDLE all the same.
        return StopAsked() ? Stopped(true) : Ended();
      default:
        return IdleEnd::kRefused;
    }
    const Wake wake = WaitIdling(limit);
    if (wake != Wake::kRenew) return LeaveIdle(wake);
    // Renewed: DONE, then NOOP, so a connection cut without a word is noticed.
    if (m_channel->EndIdle() != ImapStatus::kOk || m_channel->Run("NOOP") != ImapStatus::kOk)
      return StopAsked() ? Stopped(false) : Ended();
    if (m_channel->TakeChange()) return IdleEnd::kChanged;
  }
}

// One receive waits for the server, for the limit or the renewal, or for
// Interrupt or Stop, whichever comes first: an idle account wakes nothing.
ImapSession::Wake ImapSession::WaitIdling(const Deadline& limit) {
  const Deadline renewal(m_times.renewalMs);
  for (;;) {
    {
      const std::lock_guard<std::mutex> lock(m_mutex);
      if (m_bStop) return Wake::kStop;
      if (std::exchange(m_bAsked, false)) return Wake::kAsked;
      m_bWaiting = true;
    }
    const int received = m_channel->Wait(std::min(limit.MsLeft(), renewal.MsLeft()));
    {
      const std::lock_guard<std::mutex> lock(m_mutex);
      m_bWaiting = false;
      if (m_bStop) return Wake::kStop;
      m_transport.ResumeReceive();
    }
    if (received > 0) {
      ImapResponse response;
      if (!m_channel->ReadUnasked(response) || m_channel->SaidBye())
        return StopAsked() ? Wake::kStop : Wake::kEnded;
      if (m_channel->TakeChange()) return Wake::kChange;
      // A server that talks without end still lets the limits pass.
      if (limit.MsLeft() == 0) return Wake::kTimeUp;
      if (renewal.MsLeft() == 0) return Wake::kRenew;
      continue;
    }
    if (received == 0) return Wake::kEnded;
    if (TakeAsked()) return Wake::kAsked;
    if (limit.MsLeft() <= kTimerSlackMs) return Wake::kTimeUp;
    if (renewal.MsLeft() <= kTimerSlackMs) return Wake::kRenew;
    return Wake::kEnded;
  }
}

IdleEnd ImapSession::LeaveIdle(Wake wake) {
  switch (wake) {
    case Wake::kStop:
      return Stopped(true);
    case Wake::kEnded:
      return Ended();
    default:
      break;
  }
  if (m_channel->EndIdle() != ImapStatus::kOk) return StopAsked() ? Stopped(false) : Ended();
  if (wake == Wake::kChange || m_channel->TakeChange()) return IdleEnd::kChanged;
  return wake == Wake::kAsked ? IdleEnd::kAsked : IdleEnd::kTimeUp;
}

IdleEnd ImapSession::Stopped(bool idling) {
  if (Held()) m_channel->SendGoodbye(idling, kGoodbyeMs);
  // Nothing more is said, not even TLS's close_notify, so closing is prompt.
  m_transport.Abort();
  Drop();
  return IdleEnd::kStopped;
}

IdleEnd ImapSession::Ended() {
  if (m_pLog) m_pLog->Add("the held connection ended");
  Drop();
  return IdleEnd::kEnded;
}

void ImapSession::LogOut() {
  if (Held()) m_channel->SendGoodbye(false, m_times.replyMs);
  Drop();
}

void ImapSession::Drop() {
  {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_bHeld = false;
  }
  m_channel.reset();
  m_connection.reset();
}

void ImapSession::Interrupt() {
  const std::lock_guard<std::mutex> lock(m_mutex);
  m_bAsked = true;
  if (m_bWaiting) m_transport.InterruptReceive();
}

// A held connection is only woken: its thread has the last words to say. One
// still being reached has nothing to say yet, and is cut.
void ImapSession::Stop() {
  const std::lock_guard<std::mutex> lock(m_mutex);
  m_bStop = true;
  if (m_bHeld)
    m_transport.InterruptReceive();
  else
    m_transport.Abort();
}

bool ImapSession::StopAsked() {
  const std::lock_guard<std::mutex> lock(m_mutex);
  return m_bStop;
}

bool ImapSession::TakeAsked() {
  const std::lock_guard<std::mutex> lock(m_mutex);
  return std::exchange(m_bAsked, false);
}

CheckOutcome RunImapCheck(Transport& transport, const MailAccount& account, int timeoutMs,
                          const NewMailBasis& basis, EventLog* log) {
  ImapTimes times;
  times.replyMs = timeoutMs;
  ImapSession session(transport, account, basis, log, times);
  const CheckOutcome outcome = session.Open();
  session.LogOut();
  return outcome;
}
