#pragma once

#include <string>
#include <vector>

#include "check/account.h"
#include "check/refusal_advice.h"
#include "check/seen_mail.h"
#include "mail/header_reader.h"

// The outcome of one mail check: 0 when the conversation ran to its end,
// otherwise the step that failed.
using CheckResult = int;

enum : CheckResult {
  kCheckCompleted = 0,
  kCheckSocketsStartFailed = 1,
  kCheckSocketFailed = 2,
  kCheckResolveFailed = 3,
  kCheckConnectFailed = 4,
  kCheckUserFailed = 5,
  kCheckPassFailed = 6,
  kCheckPassRejected = 7,
  kCheckQuitFailed = 8,
  kCheckCloseFailed = 9,
  kCheckCleanupFailed = 10,
  kCheckStatFailed = 11,
  kCheckStatRejected = 12,
  kCheckSecureFailed = 13,
  kCheckUntrusted = 14,
  kCheckStlsRefused = 15,
  kCheckTokenRefused = 17,
  // A token was to go to a server that may not have it: nothing was sent.
  kCheckTokenNotAllowed = 18,
  kCheckLoginFailed = 19,    // IMAP: LOGIN unanswered, or refused for now ([UNAVAILABLE])
  kCheckMailboxFailed = 20,  // IMAP: EXAMINE, SEARCH or FETCH unanswered or refused
  kCheckLoginDisabled = 21,  // IMAP: LOGINDISABLED on a connection without TLS
  kCheckLoginUnsendable = 22,  // the user name or password holds CR, LF or NUL
  // No new access token came from the token endpoint in time.
  kCheckRenewFailed = 23,
};

// What the user is to be told about a check.
enum class OutcomeKind {
  kMailboxCount,      // STAT answered: count and countText hold what it said
  kUserRejected,      // the server refused the user name
  kPasswordRejected,  // the server refused the password
  kTokenRefused,      // the server refused the sign-in token (XOAUTH2)
  kResolveFailed,     // the server's name has no address
  kConnectFailed,     // the server could not be reached or did not let us in
  kSecureFailed,      // no secure connection: handshake failed, STLS refused or unanswered
  kUntrusted,         // the server's certificate did not verify for its name
  kPasswordNeeded,    // no password is known, so no check was made
  kSignInNeeded,      // no check was made: the account's sign-in is missing or was refused
  kLoginUnsendable,   // no check was made: the protocol cannot send the user name or password
  kStepFailed,        // another step failed; result names it
  kEnded,             // the conversation ended after its outcome was handed over
  kNoServer,          // no check was made: the settings name no server
  kLoginDisabled,     // the server takes no password without TLS, so none was sent
};

// One outcome of a check, presented on the user-interface thread.
struct CheckOutcome {
  OutcomeKind kind = OutcomeKind::kEnded;
  CheckResult result = kCheckCompleted;
  int count = 0;
  // The count field of the STAT reply exactly as received.
  std::string countText;
  // The form that logged in, when the check got that far.
  LoginForm loginForm = LoginForm::kUnknown;
  // With a refusal: the server's reply to the log-in command, as received,
  // and what it advises the user to do.
  std::string refusal;
  Advice advice = Advice::kNone;
  // With a count: the messages that were not on the server at the previous
  // check, and the sender and subject of the newest of them, newest first.
  int newCount = 0;
  std::vector<MailSummary> newest;
  // With a count: what to remember of the server for the next check.
  SeenMail seen;
};

// The outcome of a check that failed at the step result names.
CheckOutcome FailedAt(CheckResult result);
