#include "check/refusal_advice.h"

#include <algorithm>
#include <cctype>

#include "check/outcome.h"
#include "check/server_address.h"

namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// The host itself or any name under it.
bool Under(const std::string& host, const std::string& domain) {
  return host == domain ||
         (host.size() > domain.size() && host.compare(host.size() - domain.size(), domain.size(),
                                                      domain) == 0 &&
          host[host.size() - domain.size() - 1] == '.');
}

const struct {
  const char* words;  // lower case
  Advice advice;
} kRefusals[] = {
    {"basic authentication is disabled", Advice::kMicrosoftSignIn},
    {"application-specific password required", Advice::kAppPassword},
    {"web login required", Advice::kWebLogin},
    {"log in via your web browser", Advice::kWebLogin},
};

}  // namespace

Advice AdviceForRefusal(const std::string& reply) {
  const std::string lower = Lower(reply);
  for (const auto& row : kRefusals)
    if (lower.find(row.words) != std::string::npos) return row.advice;
  return Advice::kNone;
}

Advice AdviceForUnreachable(const std::string& server) {
  ServerAddress address;
  // Only a POP3 server text: iCloud's IMAP server is the way the advice points to.
  if (Lower(server).compare(0, 4, "imap") == 0 || !ParseServerAddress(server, address))
    return Advice::kNone;
  const std::string host = Lower(address.host);
  return Under(host, "mail.me.com") || Under(host, "icloud.com") ? Advice::kImapOnly
                                                                 : Advice::kNone;
}

void Advise(CheckOutcome& outcome, const std::string& server) {
  switch (outcome.kind) {
    case OutcomeKind::kUserRejected:
    case OutcomeKind::kPasswordRejected:
    case OutcomeKind::kTokenRefused:
      outcome.advice = AdviceForRefusal(outcome.refusal);
      break;
    case OutcomeKind::kResolveFailed:
    case OutcomeKind::kConnectFailed:
      outcome.advice = AdviceForUnreachable(server);
      break;
    default:
      outcome.advice = Advice::kNone;
      break;
  }
}

std::string AdviceLine(Advice advice) {
  switch (advice) {
    case Advice::kMicrosoftSignIn:
      return "This account needs Microsoft sign-in: right-click, Server options";
    case Advice::kAppPassword:
      return "This account needs an app password: see the provider's security settings";
    case Advice::kWebLogin:
      return "The provider blocked this sign-in: sign in once on its website, then check again";
    case Advice::kImapOnly:
      return "iCloud offers IMAP only: use imaps://imap.mail.me.com";
    case Advice::kSignInNotKept:
      return "Sign-in is not kept: this Windows account cannot store it";
    case Advice::kNone:
      break;
  }
  return std::string();
}
