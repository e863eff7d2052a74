#include "check/imap/imap_login.h"

#include <cctype>
#include <functional>

#include "check/signin/microsoft.h"
#include "check/signin/xoauth2.h"

namespace {

// How the server was reached and greeted.
struct Greeting {
  CheckResult result = kCheckCompleted;
  bool secure = false;      // TLS from the first byte or after STARTTLS
  bool preauth = false;     // logged in already
  ImapCapabilities before;  // as listed before log-in, inside TLS where there is TLS
};

// Takes in the capabilities of a "* CAPABILITY".
ImapChannel::Untagged Collector(ImapCapabilities& capabilities) {
  return [&capabilities](const ImapResponse& response) {
    if (response.name != "CAPABILITY") return;
    for (const ImapToken& token : response.data)
      if (token.type == ImapToken::Type::kAtom) AddCapabilities(token.text, capabilities);
  };
}

// Runs CAPABILITY; false when it was not answered with a list.
bool AskCapabilities(ImapChannel& channel, ImapCapabilities& capabilities) {
  capabilities = ImapCapabilities();
  return channel.Run("CAPABILITY", Collector(capabilities)) == ImapStatus::kOk &&
         capabilities.known;
}

// CAPABILITY, STARTTLS, the handshake, CAPABILITY again. Whatever came
// before the handshake is dropped with the reader's buffer and the first
// list, so nothing injected in plain text is ever taken from inside TLS.
CheckResult StartTls(Transport& transport, ImapChannel& channel, const std::string& host,
                     int timeoutMs, ImapCapabilities& after) {
  ImapCapabilities plain;
  if (!AskCapabilities(channel, plain)) return kCheckSecureFailed;
  if (!plain.startTls) return kCheckStlsRefused;
  switch (channel.Run("STARTTLS")) {
    case ImapStatus::kOk:
      break;
    case ImapStatus::kNone:
      return kCheckSecureFailed;
    default:
      return kCheckStlsRefused;
  }
  channel.Discard();
  const CheckResult result = Secure(transport, host, timeoutMs);
  if (result != kCheckCompleted) return result;
  return AskCapabilities(channel, after) ? kCheckCompleted : kCheckLoginFailed;
}

Greeting Greet(Transport& transport, Connection& connection, const std::string& server,
               int timeoutMs, EventLog* log, std::optional<ImapChannel>& channel) {
  Greeting greeting;
  ServerAddress address;
  greeting.result =
      connection.Open(server, ServerProtocol::kImap, address, Deadline(timeoutMs), log);
  if (greeting.result != kCheckCompleted) return greeting;
  channel.emplace(transport, timeoutMs, log);
  ImapResponse first;
  if (!channel->ReadUnasked(first) || (first.name != "OK" && first.name != "PREAUTH")) {
    greeting.result = kCheckConnectFailed;
    return greeting;
  }
  greeting.preauth = first.name == "PREAUTH";
  greeting.secure = address.security != ServerSecurity::kPlain;
  if (address.security == ServerSecurity::kStartTls) {
    // Logged in before TLS: the known way to strip it. Nothing is sent.
    greeting.result = greeting.preauth
                          ? kCheckStlsRefused
                          : StartTls(transport, *channel, address.host, timeoutMs, greeting.before);
    return greeting;
  }
  if (first.code == "CAPABILITY") AddCapabilities(first.codeText, greeting.before);
  if (!greeting.before.known && !greeting.preauth && !AskCapabilities(*channel, greeting.before))
    greeting.result = kCheckLoginFailed;
  return greeting;
}

// As Greet; the log then gets the addresses tried and the TLS in use.
Greeting GreetAndNote(Transport& transport, Connection& connection, const std::string& server,
                      int timeoutMs, EventLog* log, std::optional<ImapChannel>& channel) {
  const Greeting greeting = Greet(transport, connection, server, timeoutMs, log, channel);
  LogConnectionNote(transport, log);
  return greeting;
}

// A log-in the server refused, with its words as the user may see them.
CheckOutcome RefusedWith(CheckResult result, const ImapResponse& completion) {
  CheckOutcome refused = FailedAt(result);
  refused.refusal = completion.name;
  if (!completion.code.empty())
    refused.refusal += " [" + completion.code +
                       (completion.codeText.empty() ? "" : " " + completion.codeText) + "]";
  if (!completion.text.empty()) refused.refusal += " " + completion.text;
  return refused;
}

using LogInCommand = std::function<ImapStatus(const ImapChannel::Untagged&, ImapResponse*)>;

// One LOGIN or AUTHENTICATE; kEnded when logged in, with the capabilities
// the server listed with its answer, if any; refused when it said no.
CheckOutcome LogInWith(const LogInCommand& command, CheckResult refused,
                       ImapCapabilities& after) {
  ImapCapabilities listed;
  ImapResponse completion;
  switch (command(Collector(listed), &completion)) {
    case ImapStatus::kOk:
      if (completion.code == "CAPABILITY") AddCapabilities(completion.codeText, listed);
      after = listed;
      return CheckOutcome();
    case ImapStatus::kNo:
      // RFC 5530: the server cannot take log-ins just now; that may pass.
      if (completion.code == "UNAVAILABLE") return FailedAt(kCheckLoginFailed);
      return RefusedWith(refused, completion);
    case ImapStatus::kBad:
      return RefusedWith(refused, completion);
    case ImapStatus::kNone:
      break;
  }
  return FailedAt(kCheckLoginFailed);
}

}  // namespace

void AddCapabilities(const std::string& text, ImapCapabilities& capabilities) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(' ', start);
    if (end == std::string::npos) end = text.size();
    std::string name;
    for (size_t i = start; i < end; ++i)
      name += static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
    capabilities.known = true;
    capabilities.startTls = capabilities.startTls || name == "STARTTLS";
    capabilities.loginDisabled = capabilities.loginDisabled || name == "LOGINDISABLED";
    capabilities.literalPlus = capabilities.literalPlus || name == "LITERAL+";
    capabilities.idle = capabilities.idle || name == "IDLE";
    capabilities.esearch = capabilities.esearch || name == "ESEARCH";
    capabilities.saslIr = capabilities.saslIr || name == "SASL-IR";
    start = end + 1;
  }
}

CheckOutcome ReachAndLogIn(Transport& transport, Connection& connection, const MailAccount& account,
                           int timeoutMs, EventLog* log, std::optional<ImapChannel>& channel,
                           ImapCapabilities& capabilities, LoginForm& form) {
  if (!account.accessToken.empty() && !TokenMayGoTo(account.server, account.tokenHosts))
    return FailedAt(kCheckTokenNotAllowed);
  Greeting greeting = GreetAndNote(transport, connection, account.server, timeoutMs, log, channel);
  if (greeting.result != kCheckCompleted) return FailedAt(greeting.result);
  form = LoginForm::kUnknown;
  capabilities = greeting.before;
  if (!greeting.preauth) {
    // A server that takes no password in plain text gets none.
    if (!greeting.secure && greeting.before.loginDisabled) return FailedAt(kCheckLoginDisabled);
    const auto logInAs = [&](const std::string& user, const std::string& password) {
      return LogInWith(
          [&](const ImapChannel::Untagged& onUntagged, ImapResponse* completion) {
            return channel->Login(user, password, greeting.before.literalPlus, onUntagged,
                                  completion);
          },
          kCheckPassRejected, capabilities);
    };
    const auto reconnect = [&] {
      connection.Close();
      greeting = GreetAndNote(transport, connection, account.server, timeoutMs, log, channel);
      return greeting.result == kCheckCompleted && !greeting.preauth;
    };
    const std::string payload = Xoauth2Payload(account.user, account.accessToken);
    const auto authenticate = [&](const ImapChannel::Untagged& onUntagged,
                                  ImapResponse* completion) {
      return channel->Authenticate(payload, greeting.before.saslIr, onUntagged, completion);
    };
    const CheckOutcome told =
        account.accessToken.empty()
            ? LogInWithForms(account, logInAs, reconnect, kCheckLoginFailed, form)
            : LogInWith(authenticate, kCheckTokenRefused, capabilities);
    if (told.kind != OutcomeKind::kEnded) return told;
  }
  if (!capabilities.known && !AskCapabilities(*channel, capabilities))
    return FailedAt(kCheckLoginFailed);
  return CheckOutcome();
}
