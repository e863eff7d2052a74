#include "agent/gathering.h"

void Gathering::Begin(const std::vector<int>& accounts) {
  if (accounts.empty()) return;
  Group& group = m_groups[++m_nLast];
  for (const int account : accounts) {
    group.pending.insert(account);
    m_triggerOf[account] = m_nLast;
  }
}

// An outcome without a trigger (the last of a conversation whose first was
// told already) is told at once.
std::vector<AccountOutcome> Gathering::Arrive(const AccountOutcome& outcome, bool toTell,
                                              TimePoint now) {
  const auto trigger = m_triggerOf.find(outcome.account);
  if (trigger == m_triggerOf.end())
    return toTell ? std::vector<AccountOutcome>{outcome} : std::vector<AccountOutcome>();
  const int number = trigger->second;
  m_triggerOf.erase(trigger);
  Group& group = m_groups[number];
  group.pending.erase(outcome.account);
  if (toTell) {
    if (group.held.empty()) group.since = now;
    group.held.push_back(outcome);
  }
  return ReleaseIfComplete(number);
}

std::vector<std::vector<AccountOutcome>> Gathering::Due(TimePoint now) {
  std::vector<std::vector<AccountOutcome>> due;
  for (auto& [number, group] : m_groups) {
    if (group.held.empty() || now - group.since < kWindow) continue;
    due.push_back(std::move(group.held));
    group.held.clear();
  }
  return due;
}

bool Gathering::Holding() const {
  for (const auto& entry : m_groups)
    if (!entry.second.held.empty()) return true;
  return false;
}

std::vector<std::vector<AccountOutcome>> Gathering::Forget(int account) {
  std::vector<std::vector<AccountOutcome>> released;
  const auto trigger = m_triggerOf.find(account);
  if (trigger == m_triggerOf.end()) return released;
  const int number = trigger->second;
  m_triggerOf.erase(trigger);
  m_groups[number].pending.erase(account);
  std::vector<AccountOutcome> told = ReleaseIfComplete(number);
  if (!told.empty()) released.push_back(std::move(told));
  return released;
}

std::vector<AccountOutcome> Gathering::ReleaseIfComplete(int trigger) {
  const auto found = m_groups.find(trigger);
  if (found == m_groups.end() || !found->second.pending.empty()) return {};
  std::vector<AccountOutcome> told = std::move(found->second.held);
  m_groups.erase(found);
  return told;
}
