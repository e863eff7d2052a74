#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "check/signin/microsoft.h"
#include "check/signin/sign_in_flow.h"
#include "platform/platform.h"

// The server options dialog's "Sign in with Microsoft..." button. It stands
// where the password field is, shown instead of the field while the server
// text names a Microsoft host. A click runs a sign-in on a thread of its own
// and a second click cancels it; the sign-in tells the dialog what it needs
// by messages posted to the dialog's window, so that the dialog never waits.
class SignInButton {
 public:
  // The messages a sign-in posts to the dialog.
  static constexpr unsigned kOpenBrowser = kFirstProgramMessage + 1;
  static constexpr unsigned kEnded = kFirstProgramMessage + 2;

  SignInButton(Platform& platform, int buttonId, int passwordId, MicrosoftSetup setup);
  // Cancels a sign-in under way and waits for its thread, which ends promptly.
  ~SignInButton();
  SignInButton(const SignInButton&) = delete;
  SignInButton& operator=(const SignInButton&) = delete;

  // Shows the button or the password field, as the server text asks.
  void Follow(WindowHandle dialog, const std::string& server);
  // Starts a sign-in with user as the hint, or cancels the one under way.
  void Click(WindowHandle dialog, const std::string& user);
  // Ends a sign-in under way, as the dialog's Cancel does.
  void Cancel();
  // Handles a message a sign-in posted; the tokens when it ended signed in.
  std::optional<TokenGrant> Received(WindowHandle dialog, unsigned message);

 private:
  void Ended(WindowHandle dialog, const SignInResult& result);

  Platform& m_platform;
  const int m_nButtonId;
  const int m_nPasswordId;
  const MicrosoftSetup m_setup;
  // Under way until its end has been received.
  std::unique_ptr<SignInFlow> m_pFlow;
  bool m_bNoBrowser = false;
  // The authorize URL, from the flow's thread for the browser.
  std::mutex m_mutex;
  std::string m_strUrl;
};

// The button's label for the account a sign-in signed in to, and what the
// dialog asks when that is not the user name; empty when it is (letter case
// aside) or the sign-in named none.
std::string SignedInLabel(const std::string& account);
std::string OtherAccountQuestion(const std::string& account, const std::string& user);
