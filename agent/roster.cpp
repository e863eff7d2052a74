#include "agent/roster.h"

#include <algorithm>

Roster::Roster(const Services& services, std::shared_ptr<Outbox> outbox)
    : m_services(services),
      m_pOutbox(std::move(outbox)),
      m_pTokens(std::make_shared<SignInTokens>(services.credentials, services.web)) {}

void Roster::Update(const MailSettings& settings, const std::string& settingsPath,
                    const std::shared_ptr<EventLog>& log) {
  const std::vector<AccountSettings> accounts = AllAccounts(settings);
  m_pTokens->Follow(accounts, SignInSetup(settings));
  MoveSeenMail(accounts, settingsPath);
  std::vector<std::unique_ptr<AccountMonitor>> kept;
  m_names = DisplayNames(accounts);
  for (size_t i = 0; i < accounts.size(); ++i) {
    const auto mine = std::find_if(m_monitors.begin(), m_monitors.end(), [&](const auto& monitor) {
      return monitor && monitor->Account().id == accounts[i].id;
    });
    kept.push_back(mine != m_monitors.end()
                       ? std::move(*mine)
                       : std::make_unique<AccountMonitor>(m_services, m_pOutbox, m_pTokens));
    // With one account the log is as it always was.
    std::shared_ptr<EventLog> own =
        log && accounts.size() > 1 ? std::make_shared<EventLog>(log, "[" + m_names[i] + "] ") : log;
    kept.back()->SetAccount(accounts[i], SeenMailPathOf(settingsPath, accounts[i], i == 0), own);
  }
  for (const auto& gone : m_monitors) {
    if (!gone) continue;
    gone->Stop();
    const AccountSettings& account = gone->Account();
    const bool shared = std::any_of(accounts.begin(), accounts.end(), [&](const auto& other) {
      return SameMailbox(account, other);
    });
    if (!shared) m_services.files->Remove(SeenMailPathOf(settingsPath, account, false));
  }
  m_monitors = std::move(kept);
}

// The first account's seen mail has the name earlier versions gave it; the
// others are named after their mailbox. A check of a moving account is
// given up first, so that it cannot write under the name it had.
void Roster::MoveSeenMail(const std::vector<AccountSettings>& accounts,
                          const std::string& settingsPath) {
  if (m_monitors.empty() || accounts.empty()) return;
  AccountMonitor& oldFirst = *m_monitors.front();
  if (oldFirst.Account().id == accounts.front().id) return;
  const size_t newFirst = IndexOf(accounts.front().id);
  Files& files = *m_services.files;
  const std::string firstPath = SeenMailPathOf(settingsPath, oldFirst.Account(), true);
  if (!SameMailbox(oldFirst.Account(), accounts.front())) {
    oldFirst.Stop();
    files.Rename(firstPath, SeenMailPathOf(settingsPath, oldFirst.Account(), false));
    if (newFirst < m_monitors.size()) m_monitors[newFirst]->Stop();
    files.Rename(SeenMailPathOf(settingsPath, accounts.front(), false), firstPath);
  }
}

void Roster::SignedIn(const std::vector<std::pair<int, TokenGrant>>& signIns) {
  for (const auto& [id, grant] : signIns) m_pTokens->SignedIn(id, grant);
}

size_t Roster::IndexOf(int id) const {
  for (size_t i = 0; i < m_monitors.size(); ++i)
    if (m_monitors[i] && m_monitors[i]->Account().id == id) return i;
  return m_monitors.size();
}

void Roster::StopAll() {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
  for (const auto& monitor : m_monitors) monitor->Stop(deadline);
}

bool Roster::AnyChecking() const {
  return std::any_of(m_monitors.begin(), m_monitors.end(),
                     [](const auto& monitor) { return monitor->IsChecking(); });
}

std::vector<size_t> Roster::Tick() {
  std::vector<size_t> due;
  for (size_t i = 0; i < m_monitors.size(); ++i)
    if (m_monitors[i]->Tick()) due.push_back(i);
  return due;
}

Roster::Checks Roster::Check(const std::vector<size_t>& accounts) {
  Checks checks;
  for (const size_t index : accounts) {
    AccountMonitor& monitor = *m_monitors[index];
    const bool running = monitor.IsChecking();
    if (const std::optional<CheckOutcome> outcome = monitor.Check())
      checks.held.push_back({index, {monitor.Account().id, 0, true, *outcome}});
    else if (!running)
      checks.started.push_back(monitor.Account().id);
  }
  return checks;
}

std::vector<size_t> Roster::Every() const {
  std::vector<size_t> every;
  for (size_t i = 0; i < m_monitors.size(); ++i) every.push_back(i);
  return every;
}
