#pragma once

#include <functional>
#include <string>

#include "check/account.h"
#include "check/outcome.h"

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
