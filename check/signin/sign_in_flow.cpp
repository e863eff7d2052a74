#include "check/signin/sign_in_flow.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "check/signin/microsoft.h"
#include "check/signin/pkce.h"
#include "platform/bounded_call.h"
#include "platform/deadline.h"
#include "platform/listener.h"

namespace {

// Connections read at once; a browser opens a few ahead of need, and any
// more wait in the system's queue until one of these ends.
constexpr size_t kMaxReaders = 8;
// A pause before waiting again, when the readers are all busy or accepting failed.
constexpr auto kPause = std::chrono::milliseconds(20);

}  // namespace

SignInFlow::SignInFlow(SignInServices services, SignInRequest request,
                       std::function<bool(const std::string&)> openBrowser, SignInLimits limits)
    : m_services(services),
      m_request(std::move(request)),
      m_openBrowser(std::move(openBrowser)),
      m_limits(limits) {}

SignInFlow::~SignInFlow() {
  Cancel();
  if (m_thread.joinable()) m_thread.join();
}

void SignInFlow::Start(std::function<void()> finished) {
  m_thread = std::thread([this, finished = std::move(finished)] {
    m_result = Run();
    finished();
  });
}

void SignInFlow::Cancel() {
  const std::lock_guard<std::mutex> lock(m_mutex);
  m_bCancelled = true;
  if (m_pPort) m_pPort->Abort();
}

SignInResult SignInFlow::Result() {
  if (m_thread.joinable()) m_thread.join();
  return m_result;
}

SignInResult SignInFlow::Run() {
  SignInResult result;
  SignInSecrets secrets;
  const std::unique_ptr<LoopbackPort> port = m_services.listener.Listen();
  if (!port || !NewSignInSecrets(m_services.random, m_services.digest, secrets)) {
    result.end = SignInEnd::kNotStarted;
    return result;
  }
  const std::string redirectUri = RedirectUri(port->Port());
  {
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_bCancelled) return result;
    m_pPort = port.get();
  }
  RedirectRequest redirect;
  const bool opened = m_openBrowser(AuthorizeUrl(m_request.authority, m_request.clientId,
                                                 redirectUri, m_request.user, secrets));
  const bool redirected = opened && AwaitRedirect(*port, secrets.state, redirect);
  {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_pPort = nullptr;
    port->Abort();
  }
  JoinReaders(false);
  if (m_bCancelled) return result;
  if (!opened) {
    result.end = SignInEnd::kNoBrowser;
  } else if (!redirected) {
    result.end = SignInEnd::kTimedOut;
  } else if (redirect.kind == RedirectKind::kError) {
    result.end = SignInEnd::kDenied;
    result.grant.error = redirect.description.empty()
                             ? redirect.error
                             : redirect.error + ": " + redirect.description;
  } else {
    result = Exchange(redirect.code, redirectUri, secrets.verifier);
  }
  return result;
}

bool SignInFlow::AwaitRedirect(LoopbackPort& port, const std::string& state,
                               RedirectRequest& redirect) {
  const Deadline limit(m_limits.redirectMs);
  for (;;) {
    {
      const std::lock_guard<std::mutex> lock(m_mutex);
      if (m_redirect) {
        redirect = *m_redirect;
        return true;
      }
    }
    JoinReaders(true);
    const int left = limit.MsLeft();
    if (m_bCancelled || left <= 0) return false;
    std::shared_ptr<LoopbackConnection> connection;
    if (m_readers.size() < kMaxReaders) connection = port.Accept(left);
    if (!connection) {
      std::this_thread::sleep_for(kPause);
      continue;
    }
    const auto done = std::make_shared<std::atomic<bool>>(false);
    m_readers.push_back({std::thread([this, &port, connection, state, done] {
                           Answer(port, *connection, state);
                           *done = true;
                         }),
                         done});
  }
}

// Each connection has its own limit, so one a browser opened ahead of need
// and never uses holds up nothing but itself.
void SignInFlow::Answer(LoopbackPort& port, LoopbackConnection& connection,
                        const std::string& state) {
  const Deadline limit(m_limits.requestMs);
  std::string received;
  RedirectRequest request;
  char chunk[2048];
  while (request.kind == RedirectKind::kIncomplete) {
    const int left = limit.MsLeft();
    const size_t room = std::min(sizeof chunk, kMaxRedirectRequest - received.size());
    const int count = left > 0 ? connection.Receive(chunk, static_cast<int>(room), left) : -1;
    if (count <= 0) return;
    received.append(chunk, static_cast<size_t>(count));
    request = ReadRedirect(received, state);
  }
  connection.Send(RedirectAnswer(request.kind), m_limits.requestMs);
  if (request.kind == RedirectKind::kOther) return;
  const std::lock_guard<std::mutex> lock(m_mutex);
  if (m_redirect) return;
  m_redirect = request;
  // Ends the wait for further connections.
  port.Abort();
}

void SignInFlow::JoinReaders(bool finishedOnly) {
  for (auto reader = m_readers.begin(); reader != m_readers.end();) {
    if (finishedOnly && !*reader->done) {
      ++reader;
      continue;
    }
    reader->thread.join();
    reader = m_readers.erase(reader);
  }
}

// The exchange runs apart, so that a cancel need not wait for the network;
// the services outlive it.
SignInResult SignInFlow::Exchange(const std::string& code, const std::string& redirectUri,
                                  const std::string& verifier) {
  SignInResult result;
  Web& web = m_services.web;
  const std::string endpoint = TokenEndpoint(m_request.authority);
  const std::string clientId = m_request.clientId;
  const int timeoutMs = m_limits.exchangeMs;
  const bool answered = RunBounded(
      [&web, endpoint, clientId, code, redirectUri, verifier, timeoutMs] {
        return RedeemCode(web, endpoint, clientId, code, redirectUri, verifier, timeoutMs);
      },
      timeoutMs, m_bCancelled, result.grant);
  if (m_bCancelled) return SignInResult();
  switch (answered ? result.grant.status : TokenStatus::kFailed) {
    case TokenStatus::kGranted:
      result.end = SignInEnd::kSignedIn;
      break;
    case TokenStatus::kSignInNeeded:
    case TokenStatus::kRefused:
      result.end = SignInEnd::kTokenRefused;
      break;
    case TokenStatus::kFailed:
      result.end = SignInEnd::kTokenFailed;
      break;
  }
  return result;
}
