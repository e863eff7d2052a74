#include "dialogs/sign_in_button.h"

#include <algorithm>
#include <cctype>

#include "mail/safe_text.h"
#include "platform/ui/controls.h"

namespace {

const char kSignIn[] = "Sign in with Microsoft...";
const char kWaiting[] = "Waiting\xE2\x80\xA6 click to cancel";

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// Why a sign-in that did not sign in ended; empty when the user ended it.
std::string Failure(const SignInResult& result, bool noBrowser) {
  const std::string why = SafeText(result.grant.error);
  switch (result.end) {
    case SignInEnd::kSignedIn:
      break;
    case SignInEnd::kCancelled:
      if (noBrowser) return "No web browser could be opened for the sign-in.";
      break;
    case SignInEnd::kNoBrowser:
      return "No web browser could be opened for the sign-in.";
    case SignInEnd::kTimedOut:
      return "The sign-in was not completed within 5 minutes.";
    case SignInEnd::kDenied:
      return "Microsoft did not sign you in: " + why;
    case SignInEnd::kNotStarted:
      return "The sign-in could not start: this computer offered no local port for it.";
    case SignInEnd::kTokenRefused:
      return "Microsoft refused the sign-in: " + why;
    case SignInEnd::kTokenFailed:
      return "Microsoft's sign-in did not answer. Try again later.";
  }
  return std::string();
}

}  // namespace

std::string SignedInLabel(const std::string& account) {
  return account.empty() ? std::string("Signed in") : "Signed in as " + account;
}

std::string OtherAccountQuestion(const std::string& account, const std::string& user) {
  if (account.empty() || Lower(account) == Lower(user)) return std::string();
  return "You signed in as " + account + ", which is not the user name " + user +
         ".\n\nTake " + account + " as the user name?";
}

SignInButton::SignInButton(Platform& platform, int buttonId, int passwordId,
                           MicrosoftSetup setup)
    : m_platform(platform),
      m_nButtonId(buttonId),
      m_nPasswordId(passwordId),
      m_setup(std::move(setup)) {}

SignInButton::~SignInButton() { m_pFlow.reset(); }

void SignInButton::Follow(WindowHandle dialog, const std::string& server) {
  const bool microsoft = TokenMayGoTo(server, m_setup.hosts);
  Controls& controls = m_platform.DialogControls();
  controls.Show(dialog, m_nButtonId, microsoft);
  controls.Show(dialog, m_nPasswordId, !microsoft);
}

// The browser is opened on the user-interface thread, as the shell wants,
// when the flow has its port and the URL.
void SignInButton::Click(WindowHandle dialog, const std::string& user) {
  if (m_pFlow) return m_pFlow->Cancel();
  const Services& services = m_platform.GetServices();
  if (m_setup.clientId.empty()) {
    services.boxes->Show(
        "This copy of Tarvik has no Microsoft application id, so it cannot sign in with "
        "Microsoft.\n\nThe README tells how to give it one: \"Microsoft sign-in\", "
        "MicrosoftClientId= in tarvik.ini.",
        "", BoxKind::kWarning);
    return;
  }
  Platform& platform = m_platform;
  m_bNoBrowser = false;
  m_pFlow = std::make_unique<SignInFlow>(
      SignInServices{*services.web, *services.listener, *services.random, *services.digest},
      SignInRequest{m_setup.clientId, m_setup.authority, user},
      [this, &platform, dialog](const std::string& url) {
        {
          const std::lock_guard<std::mutex> lock(m_mutex);
          m_strUrl = url;
        }
        return platform.PostToWindow(dialog, kOpenBrowser);
      });
  m_pFlow->Start([&platform, dialog] { platform.PostToWindow(dialog, kEnded); });
  m_platform.DialogControls().SetText(dialog, m_nButtonId, kWaiting);
}

void SignInButton::Cancel() {
  if (m_pFlow) m_pFlow->Cancel();
}

std::optional<TokenGrant> SignInButton::Received(WindowHandle dialog, unsigned message) {
  if (!m_pFlow) return std::nullopt;
  if (message == kOpenBrowser) {
    std::string url;
    {
      const std::lock_guard<std::mutex> lock(m_mutex);
      url = m_strUrl;
    }
    if (!m_platform.GetServices().shell->Open(url)) {
      m_bNoBrowser = true;
      m_pFlow->Cancel();
    }
    return std::nullopt;
  }
  if (message != kEnded) return std::nullopt;
  const SignInResult result = m_pFlow->Result();
  m_pFlow.reset();
  Ended(dialog, result);
  if (result.end != SignInEnd::kSignedIn) return std::nullopt;
  return result.grant;
}

void SignInButton::Ended(WindowHandle dialog, const SignInResult& result) {
  const bool signedIn = result.end == SignInEnd::kSignedIn;
  m_platform.DialogControls().SetText(dialog, m_nButtonId,
                                      signedIn ? SignedInLabel(result.grant.account) : kSignIn);
  const std::string failure = Failure(result, m_bNoBrowser);
  if (!failure.empty())
    m_platform.GetServices().boxes->Show(failure, "", BoxKind::kWarning);
}
