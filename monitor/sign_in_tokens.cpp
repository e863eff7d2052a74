#include "monitor/sign_in_tokens.h"

#include <algorithm>

#include "check/signin/microsoft.h"
#include "check/signin/token_store.h"
#include "log/event_log.h"
#include "platform/credentials.h"
#include "settings/password_store.h"

bool CredentialSecrets::Write(const std::string& target, const std::string& bytes) {
  return m_credentials.RememberBytes(target, bytes);
}

bool CredentialSecrets::Read(const std::string& target, std::string& bytes) {
  return m_credentials.FindBytes(target, bytes);
}

void CredentialSecrets::Remove(const std::string& target) { m_credentials.Forget(target); }

namespace {

// A refresh token is printable ASCII; anything else under the name is the
// password an earlier version kept for the account (as UTF-16).
bool IsToken(const std::string& bytes) {
  return !bytes.empty() && std::all_of(bytes.begin(), bytes.end(),
                                       [](char c) { return c > 0x20 && c < 0x7F; });
}

}  // namespace

SignInTokens::SignInTokens(std::shared_ptr<Credentials> credentials, std::shared_ptr<Web> web,
                           Clock now)
    : m_pCredentials(std::move(credentials)), m_pWeb(std::move(web)), m_now(std::move(now)) {}

SignInTokens::Held SignInTokens::Recall(const std::string& target, const std::string& user) {
  Held held;
  held.target = target;
  held.user = user;
  CredentialSecrets store(*m_pCredentials);
  std::string token;
  if (FindToken(store, target, token) && IsToken(token)) {
    held.refresh = token;
    held.kept = true;
  }
  held.signIn = ++m_nSignIns;
  return held;
}

void SignInTokens::Follow(const std::vector<AccountSettings>& accounts,
                          const MicrosoftSetup& setup) {
  const std::lock_guard<std::mutex> lock(m_mutex);
  m_setup = setup;
  CredentialSecrets store(*m_pCredentials);
  std::map<int, Held> next;
  for (const AccountSettings& account : accounts) {
    if (!SignsInWithMicrosoft(account)) continue;
    const std::string target = PasswordTarget(account);
    const auto held = m_held.find(account.id);
    if (held == m_held.end() || held->second.user != account.user) {
      next[account.id] = Recall(target, account.user);
      continue;
    }
    Held moved = held->second;
    if (moved.target != target && moved.kept) moved.kept = KeepToken(store, target, moved.refresh);
    moved.target = target;
    next[account.id] = moved;
  }
  for (const auto& [id, gone] : m_held) {
    const bool used = std::any_of(next.begin(), next.end(), [&gone = gone](const auto& entry) {
      return entry.second.target == gone.target;
    });
    if (!used) ForgetToken(store, gone.target);
  }
  m_held = std::move(next);
}

MicrosoftSetup SignInTokens::Setup() {
  const std::lock_guard<std::mutex> lock(m_mutex);
  return m_setup;
}

void SignInTokens::Take(Held& held, const TokenGrant& grant) {
  const auto now = m_now();
  held.access = grant.accessToken;
  held.obtained = now;
  held.expires = now + std::chrono::seconds(grant.expiresInSeconds);
}

bool SignInTokens::SignedIn(int account, const TokenGrant& grant) {
  const std::lock_guard<std::mutex> lock(m_mutex);
  const auto found = m_held.find(account);
  if (found == m_held.end()) return true;
  Held& held = found->second;
  CredentialSecrets store(*m_pCredentials);
  held.refresh = grant.refreshToken;
  held.kept = KeepToken(store, held.target, held.refresh);
  held.refused = false;
  held.signIn = ++m_nSignIns;
  Take(held, grant);
  return held.kept;
}

bool SignInTokens::SignInNeeded(int account) {
  const std::lock_guard<std::mutex> lock(m_mutex);
  const auto found = m_held.find(account);
  return found == m_held.end() || found->second.refresh.empty() || found->second.refused;
}

bool SignInTokens::NotKept(int account) {
  const std::lock_guard<std::mutex> lock(m_mutex);
  const auto found = m_held.find(account);
  return found != m_held.end() && !found->second.refresh.empty() && !found->second.kept;
}

// The renewal runs outside the lock; what it brings is taken only while the
// sign-in it renewed is still the account's.
SignInTokens::Access SignInTokens::Acquire(int account, bool renew, int timeoutMs,
                                           EventLog* log) {
  Access access;
  std::string refresh;
  MicrosoftSetup setup;
  {
    const std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_held.find(account);
    if (found == m_held.end() || found->second.refresh.empty() || found->second.refused) {
      access.status = Access::Status::kSignInNeeded;
      return access;
    }
    const Held& held = found->second;
    access.signIn = held.signIn;
    const auto now = m_now();
    if (!renew && !held.access.empty() && held.expires - now > kRenewAhead) {
      access.status = Access::Status::kReady;
      access.token = held.access;
      access.fresh = now - held.obtained < kFresh;
      return access;
    }
    refresh = held.refresh;
    setup = m_setup;
  }
  const TokenGrant grant =
      RenewAccess(*m_pWeb, TokenEndpoint(setup.authority), setup.clientId, refresh, timeoutMs);
  const std::lock_guard<std::mutex> lock(m_mutex);
  const auto found = m_held.find(account);
  if (found == m_held.end() || found->second.signIn != access.signIn) return access;
  Held& held = found->second;
  switch (grant.status) {
    case TokenStatus::kGranted: {
      if (log) log->Add("sign-in renewed");
      Take(held, grant);
      // Microsoft hands out a new refresh token at every use.
      if (grant.refreshToken != held.refresh) {
        held.refresh = grant.refreshToken;
        CredentialSecrets store(*m_pCredentials);
        if (held.kept) held.kept = KeepToken(store, held.target, held.refresh);
      }
      access.status = Access::Status::kReady;
      access.token = held.access;
      access.fresh = true;
      break;
    }
    case TokenStatus::kSignInNeeded:
    case TokenStatus::kRefused:
      if (log) log->Add("sign-in refused: " + grant.error);
      held.refused = true;
      access.status = Access::Status::kSignInNeeded;
      break;
    case TokenStatus::kFailed:
      if (log) log->Add("sign-in renewal failed");
      break;
  }
  return access;
}

void SignInTokens::Refused(int account, uint64_t signIn) {
  const std::lock_guard<std::mutex> lock(m_mutex);
  const auto found = m_held.find(account);
  if (found != m_held.end() && found->second.signIn == signIn) found->second.refused = true;
}

namespace {

// The outcome of a check that got no access token to send.
CheckOutcome WithoutToken(SignInTokens::Access::Status status) {
  return FailedAt(status == SignInTokens::Access::Status::kSignInNeeded ? kCheckTokenRefused
                                                                        : kCheckRenewFailed);
}

}  // namespace

CheckOutcome ConverseWithToken(SignInTokens& tokens, int account, MailAccount mailbox,
                               const TokenConversation& converse, int timeoutMs, EventLog* log) {
  using Status = SignInTokens::Access::Status;
  SignInTokens::Access access = tokens.Acquire(account, false, timeoutMs, log);
  if (access.status != Status::kReady) return WithoutToken(access.status);
  mailbox.accessToken = access.token;
  CheckOutcome outcome = converse(mailbox);
  if (outcome.kind != OutcomeKind::kTokenRefused) return outcome;
  if (!access.fresh) {
    access = tokens.Acquire(account, true, timeoutMs, log);
    if (access.status != Status::kReady) return WithoutToken(access.status);
    mailbox.accessToken = access.token;
    outcome = converse(mailbox);
    if (outcome.kind != OutcomeKind::kTokenRefused) return outcome;
  }
  tokens.Refused(account, access.signIn);
  return outcome;
}
