#include "monitor/account_monitor.h"

#include "check/seen_mail.h"
#include "monitor/check_gate.h"
#include "monitor/login_account.h"

AccountMonitor::AccountMonitor(const Services& services, std::shared_ptr<Outbox> outbox)
    : m_services(services), m_pOutbox(std::move(outbox)) {}

AccountMonitor::~AccountMonitor() { Stop(); }

void AccountMonitor::SetAccount(const AccountSettings& account, const std::string& seenPath,
                                std::shared_ptr<EventLog> log) {
  m_account = account;
  m_strSeenPath = seenPath;
  m_pLog = std::move(log);
}

// While a check runs, or its outcome waits on a message box, a further one
// is skipped: boxes must not pile up while the user is away.
std::optional<CheckOutcome> AccountMonitor::Check() {
  if (m_pRun) {
    // A held connection counts again on the spot.
    if (m_pRun->Idling()) m_pRun->Ask(PushRequest::kRecount);
    return std::nullopt;
  }
  if (std::optional<CheckOutcome> held = CheckHeldBack(m_account)) return held;
  std::unique_ptr<Transport> transport = m_services.network->NewTransport();
  if (!transport) return FailedAt(kCheckSocketsStartFailed);
  m_recheck.Started();
  CheckJob job;
  job.account = m_account.id;
  job.run = ++m_nRun;
  job.mailbox = AccountToCheck(*m_services.codec, m_account);
  job.seenPath = m_strSeenPath;
  job.seenOwner = AccountHash(m_account.server, m_account.user);
  job.files = m_services.files;
  job.charsets = m_services.charsets;
  job.log = m_pLog;
  job.push = m_account.push;
  m_pRun = CheckRun::Start(std::move(job), std::move(transport), m_pOutbox);
  return std::nullopt;
}

// What is due is taken by this tick: a check already running when it comes
// stands for it, and no second one follows.
bool AccountMonitor::Tick() {
  bool due = m_recheck.Tick();
  if (++m_nTicks == kTicksPerMinute) {
    m_nTicks = 0;
    if (++m_nMinutes >= m_account.interval) {
      m_nMinutes = 0;
      due = true;
    }
  }
  return due;
}

// After sleep a held connection is most likely dead: it is opened again.
void AccountMonitor::Resumed() {
  if (m_pRun && m_pRun->Idling())
    m_pRun->Ask(PushRequest::kReconnect);
  else
    m_recheck.Resumed();
}

bool AccountMonitor::IsChecking() const { return m_pRun && !m_pRun->Idling(); }

void AccountMonitor::NetworkChanged() { m_recheck.NetworkChanged(); }

bool AccountMonitor::Take(const AccountOutcome& outcome) {
  if (!m_pRun || outcome.run != m_nRun) return false;
  m_recheck.Observed(outcome.outcome);
  if (m_pLog && m_recheck.TicksToRetry() > 0)
    m_pLog->Add("retry in " + std::to_string(m_recheck.TicksToRetry() * Recheck::kTickSeconds) +
                " s");
  if (outcome.last) m_pRun.reset();
  return true;
}

void AccountMonitor::Presented() {
  if (m_pRun) m_pRun->Presented();
}

void AccountMonitor::Stop(std::chrono::steady_clock::time_point deadline) {
  if (!m_pRun) return;
  m_pRun->Abandon();
  m_pRun->WaitDone(deadline);
  m_pRun.reset();
}
