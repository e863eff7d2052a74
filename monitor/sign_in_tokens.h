#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "check/outcome.h"
#include "check/signin/token_endpoint.h"
#include "check/signin/token_store.h"
#include "settings/accounts.h"

class Credentials;
class EventLog;
class Web;

// The user's credential store holding a token's parts as bytes.
class CredentialSecrets : public SecretStore {
 public:
  explicit CredentialSecrets(Credentials& credentials) : m_credentials(credentials) {}
  bool Write(const std::string& target, const std::string& bytes) override;
  bool Read(const std::string& target, std::string& bytes) override;
  void Remove(const std::string& target) override;

 private:
  Credentials& m_credentials;
};

// The Microsoft sign-ins of the accounts: each one's refresh token, kept in
// the user's credential store under the account's password name, and its
// access token, held in memory alone. The user-interface thread follows the
// settings and takes new sign-ins; the checks' threads renew. May be used
// from any thread.
class SignInTokens {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;

  // An access token renewed this recently is fresh: a refusal of it is not
  // mended by another renewal.
  static constexpr std::chrono::seconds kFresh{60};
  // An access token is renewed this long before it expires.
  static constexpr std::chrono::seconds kRenewAhead{300};

  SignInTokens(std::shared_ptr<Credentials> credentials, std::shared_ptr<Web> web,
               Clock now = std::chrono::steady_clock::now);

  // The accounts as the settings hold them now, and the setup renewals use.
  // An account that newly signs in with Microsoft gets the refresh token
  // kept for it; the token follows it from one Microsoft host to another,
  // and is forgotten when its user name changes, when it no longer signs in
  // with Microsoft, or when it is gone.
  void Follow(const std::vector<AccountSettings>& accounts, const MicrosoftSetup& setup);
  MicrosoftSetup Setup();
  // Takes the tokens of a sign-in the user just made for the account and
  // keeps its refresh token; false when the store refused it, and the
  // sign-in holds for this run only.
  bool SignedIn(int account, const TokenGrant& grant);
  // True when the account has no refresh token, or its sign-in was refused:
  // only a new sign-in mends that.
  bool SignInNeeded(int account);
  // True while the account's refresh token is held in memory alone.
  bool NotKept(int account);

  // An access token for a check of the account.
  struct Access {
    enum class Status { kReady, kSignInNeeded, kFailed } status = Status::kFailed;
    std::string token;
    // Obtained within kFresh.
    bool fresh = false;
    // The sign-in it comes from.
    uint64_t signIn = 0;
  };
  // The access token held, renewed first when there is none, when it
  // expires within kRenewAhead, or when renew asks for it. A renewal keeps
  // the refresh token that comes with it; a refused one means sign-in needed.
  Access Acquire(int account, bool renew, int timeoutMs, EventLog* log);
  // The server refused a fresh access token of that sign-in: sign-in needed.
  void Refused(int account, uint64_t signIn);

 private:
  struct Held {
    std::string target;
    std::string user;
    std::string refresh;
    bool kept = false;
    bool refused = false;
    std::string access;
    std::chrono::steady_clock::time_point obtained;
    std::chrono::steady_clock::time_point expires;
    uint64_t signIn = 0;
  };

  // Takes the access token of grant, obtained now.
  void Take(Held& held, const TokenGrant& grant);
  Held Recall(const std::string& target, const std::string& user);

  const std::shared_ptr<Credentials> m_pCredentials;
  const std::shared_ptr<Web> m_pWeb;
  const Clock m_now;
  std::mutex m_mutex;
  MicrosoftSetup m_setup;
  std::map<int, Held> m_held;
  uint64_t m_nSignIns = 0;
};

// One conversation of a check that runs with an access token.
using TokenConversation = std::function<CheckOutcome(const MailAccount& mailbox)>;

// Runs converse with the account's access token, whatever the protocol's
// SASL step: a refusal renews the token once and runs it again, unless the
// token was fresh; a refusal of a fresh token, or a refused renewal, leaves
// the account needing sign-in.
CheckOutcome ConverseWithToken(SignInTokens& tokens, int account, MailAccount mailbox,
                               const TokenConversation& converse, int timeoutMs, EventLog* log);
