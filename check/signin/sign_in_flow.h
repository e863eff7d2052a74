#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "check/signin/redirect_request.h"
#include "check/signin/token_endpoint.h"

class Digest;
class Listener;
class LoopbackConnection;
class LoopbackPort;
class Random;
class Web;

// The platform services a sign-in uses; they outlive it.
struct SignInServices {
  Web& web;
  Listener& listener;
  Random& random;
  Digest& digest;
};

// Whom to sign in, and where.
struct SignInRequest {
  std::string clientId;
  std::string authority;  // as MicrosoftAuthority gives it
  std::string user;       // the login_hint
};

// How long each wait may last.
struct SignInLimits {
  int redirectMs = 5 * 60 * 1000;  // for the browser's redirect, from opening it
  int requestMs = 5000;            // for each connection's request
  int exchangeMs = 30000;          // for the token endpoint
};

// How a sign-in ended.
enum class SignInEnd {
  kSignedIn,      // grant holds the tokens
  kCancelled,     // Cancel was called first
  kTimedOut,      // no redirect came in time
  kDenied,        // the redirect carried an error (access_denied...): grant.error says which
  kNotStarted,    // no loopback port or no random numbers
  kNoBrowser,     // the browser could not be opened
  kTokenRefused,  // the token endpoint refused the code: grant.error says why
  kTokenFailed,   // the token endpoint did not answer in time, or not readably
};

struct SignInResult {
  SignInEnd end = SignInEnd::kCancelled;
  TokenGrant grant;
};

// One sign-in with the authorization code flow, PKCE (RFC 7636, S256) and a
// loopback redirect (RFC 8252): listen on 127.0.0.1, open the browser on the
// authorize URL, wait for the redirect, redeem its code. It runs on a thread
// of its own and may be cancelled from any other.
class SignInFlow {
 public:
  // openBrowser opens the system's browser on the URL; false when it could
  // not. It is called on the flow's thread.
  SignInFlow(SignInServices services, SignInRequest request,
             std::function<bool(const std::string&)> openBrowser,
             SignInLimits limits = SignInLimits());
  // Cancels the flow and waits for its thread, which ends promptly.
  ~SignInFlow();
  SignInFlow(const SignInFlow&) = delete;
  SignInFlow& operator=(const SignInFlow&) = delete;

  // Runs the flow on a thread of its own; finished is called on that thread
  // once Result has the outcome.
  void Start(std::function<void()> finished);
  // Ends the flow soon, from any thread: its result is then kCancelled,
  // unless it had ended before.
  void Cancel();
  // The outcome; waits for the thread when it has not finished yet.
  SignInResult Result();
  // Runs the whole flow on the calling thread.
  SignInResult Run();

 private:
  struct Reader {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };

  // Waits for the redirect; true with it in redirect.
  bool AwaitRedirect(LoopbackPort& port, const std::string& state, RedirectRequest& redirect);
  // Reads one connection's request and answers it; the redirect ends the wait.
  void Answer(LoopbackPort& port, LoopbackConnection& connection, const std::string& state);
  void JoinReaders(bool finishedOnly);
  SignInResult Exchange(const std::string& code, const std::string& redirectUri,
                        const std::string& verifier);

  SignInServices m_services;
  SignInRequest m_request;
  std::function<bool(const std::string&)> m_openBrowser;
  SignInLimits m_limits;

  std::mutex m_mutex;
  std::atomic<bool> m_bCancelled{false};
  LoopbackPort* m_pPort = nullptr;                  // while listening
  std::optional<RedirectRequest> m_redirect;        // the one that ended the wait
  std::vector<Reader> m_readers;

  std::thread m_thread;
  SignInResult m_result;
};
