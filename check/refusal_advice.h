#pragma once

#include <string>

struct CheckOutcome;

// What a refusal tells the user to do, where the server's words say more
// than "incorrect password".
enum class Advice {
  kNone,             // nothing beyond the usual text
  kMicrosoftSignIn,  // the server takes no password at all
  kAppPassword,      // the provider wants an app password
  kWebLogin,         // the provider blocked the log-in until one on its website
  kImapOnly,         // iCloud has no POP3 server to reach
  kSignInNotKept,    // a count of an account whose sign-in is held for this run only
};

// The advice for a server's refusal of USER, PASS, AUTH, LOGIN or
// AUTHENTICATE, matched case-insensitively; kNone when no row matches.
Advice AdviceForRefusal(const std::string& reply);

// The advice for a check of the server text that could not resolve or
// connect: iCloud's names have no POP3 server.
Advice AdviceForUnreachable(const std::string& server);

// Fills outcome.advice from what the outcome says and the server text.
void Advise(CheckOutcome& outcome, const std::string& server);

// The line for the tooltip and the box; empty for kNone.
std::string AdviceLine(Advice advice);
