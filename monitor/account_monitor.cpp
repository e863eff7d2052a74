#include "monitor/account_monitor.h"

#include <utility>

#include "check/seen_mail.h"
#include "check/server_address.h"
#include "monitor/check_gate.h"
#include "monitor/login_account.h"

namespace {

// An IMAP connection is held as the account was when it logged in: another
// server, log-in or push switch must not go on counting on it.
bool HeldConnectionOutdated(const AccountSettings& held, const AccountSettings& now) {
  ServerAddress address;
  return ParseServerAddress(held.server, address) && address.protocol == ServerProtocol::kImap &&
         (held.server != now.server || held.user != now.user || held.password != now.password ||
          held.signIn != now.signIn || held.push != now.push);
}

}  // namespace

AccountMonitor::AccountMonitor(const Services& services, std::shared_ptr<Outbox> outbox,
                               std::shared_ptr<SignInTokens> tokens)
    : m_services(services), m_pOutbox(std::move(outbox)), m_pTokens(std::move(tokens)) {}

AccountMonitor::~AccountMonitor() { Stop(); }

void AccountMonitor::SetAccount(const AccountSettings& account, const std::string& seenPath,
                                std::shared_ptr<EventLog> log) {
  // Given up, and opened anew at the next tick as after a resume.
  if (m_pRun && HeldConnectionOutdated(m_account, account)) {
    Stop();
    m_recheck.Resumed();
  }
  if (account.server != m_account.server || account.user != m_account.user ||
      account.password != m_account.password)
    m_bPasswordsRefused = false;
  m_account = account;
  m_strSeenPath = seenPath;
  m_pLog = std::move(log);
}

// While a check runs, or its outcome waits on a message box, a further one
// is skipped: boxes must not pile up while the user is away.
std::optional<CheckOutcome> AccountMonitor::Check() {
  if (m_pRun) {
    // A held connection counts again on the spot.
    if (std::exchange(m_bHeld, false)) m_pRun->Ask(PushRequest::kRecount);
    return std::nullopt;
  }
  if (std::optional<CheckOutcome> held = CheckHeldBack(m_account)) return held;
  CheckJob job;
  job.mailbox = AccountToCheck(*m_services.codec, m_account);
  if (std::optional<CheckOutcome> held = PrepareSignIn(job)) return held;
  std::unique_ptr<Transport> transport = m_services.network->NewTransport();
  if (!transport) return FailedAt(kCheckSocketsStartFailed);
  m_recheck.Started();
  job.account = m_account.id;
  job.run = ++m_nRun;
  job.seenPath = m_strSeenPath;
  job.seenOwner = AccountHash(m_account.server, m_account.user);
  job.files = m_services.files;
  job.charsets = m_services.charsets;
  job.log = m_pLog;
  job.push = m_account.push;
  job.renewalMs = m_nRenewalMs;
  m_pRun = CheckRun::Start(std::move(job), std::move(transport), m_pOutbox);
  return std::nullopt;
}

// After the server said it takes no password, none is sent again until the
// server options change: every check is that refusal again, at once.
std::optional<CheckOutcome> AccountMonitor::PrepareSignIn(CheckJob& job) {
  if (!SignsInWithMicrosoft(m_account)) {
    if (!m_bPasswordsRefused) return std::nullopt;
    CheckOutcome refused = FailedAt(kCheckPassRejected);
    refused.advice = Advice::kMicrosoftSignIn;
    return refused;
  }
  if (m_pTokens->SignInNeeded(m_account.id)) {
    CheckOutcome needed;
    needed.kind = OutcomeKind::kSignInNeeded;
    return needed;
  }
  job.tokens = m_pTokens;
  job.mailbox.tokenHosts = m_pTokens->Setup().hosts;
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
  if (m_pRun && std::exchange(m_bHeld, false))
    m_pRun->Ask(PushRequest::kReconnect);
  else
    m_recheck.Resumed();
}

bool AccountMonitor::IsChecking() const { return m_pRun && !m_bHeld; }

void AccountMonitor::NetworkChanged() { m_recheck.NetworkChanged(); }

bool AccountMonitor::Take(const AccountOutcome& outcome) {
  if (!m_pRun || outcome.run != m_nRun) return false;
  m_recheck.Observed(outcome.outcome);
  m_bPasswordsRefused = m_bPasswordsRefused || outcome.outcome.advice == Advice::kMicrosoftSignIn;
  if (m_pLog && m_recheck.TicksToRetry() > 0)
    m_pLog->Add("retry in " + std::to_string(m_recheck.TicksToRetry() * Recheck::kTickSeconds) +
                " s");
  m_bHeld = outcome.held;
  if (outcome.last) m_pRun.reset();
  return true;
}

void AccountMonitor::Presented() {
  if (m_pRun) m_pRun->Presented();
}

void AccountMonitor::Stop(std::chrono::steady_clock::time_point deadline) {
  m_bHeld = false;
  if (!m_pRun) return;
  m_pRun->Abandon();
  m_pRun->WaitDone(deadline);
  m_pRun.reset();
}
