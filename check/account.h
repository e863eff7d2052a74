#pragma once

#include <functional>
#include <string>

#include "check/outcome.h"

// The mailbox to check.
struct MailAccount {
  std::string server;
  std::string user;
  std::string password;
  // The user name and password in the system's ANSI code page, as earlier
  // versions sent them; both empty where that form does not differ from
  // the UTF-8 one or does not exist.
  std::string ansiUser = {};
  std::string ansiPassword = {};
  // The form that logged in before: only it is sent. Unknown sends UTF-8,
  // then the ANSI form once if the server refuses it and the forms differ.
  LoginForm form = LoginForm::kUnknown;
};

// Sends one user name and password; kEnded when logged in.
using LogInAttempt =
    std::function<CheckOutcome(const std::string& user, const std::string& password)>;

// Logs in with the form the account asks for; kEnded when logged in, with
// form telling which where the forms differ. A server that refuses the UTF-8
// form gets the ANSI form once, as earlier versions sent it: on the same
// connection, or, when the server hung up after refusing (the ANSI attempt
// failed at step hungUp), on a new one that reconnect makes.
CheckOutcome LogInWithForms(const MailAccount& account, const LogInAttempt& logInAs,
                            const std::function<bool()>& reconnect, CheckResult hungUp,
                            LoginForm& form);
