#pragma once

#include <string>
#include <vector>

#include "mail/header_reader.h"
#include "check/seen_mail.h"

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
  kCheckTopFailed = 16,
  kCheckLoginFailed = 17,      // IMAP: LOGIN unanswered, or refused for now ([UNAVAILABLE])
  kCheckMailboxFailed = 18,    // IMAP: EXAMINE, SEARCH or FETCH unanswered or refused
  kCheckLoginDisabled = 19,    // IMAP: LOGINDISABLED on a connection without TLS
  kCheckLoginUnsendable = 20,  // the user name or password holds CR, LF or NUL
};

// What the user is to be told about a check.
enum class OutcomeKind {
  kMailboxCount,      // STAT answered: count and countText hold what it said
  kUserRejected,      // the server refused the user name
  kPasswordRejected,  // the server refused the password
  kResolveFailed,     // the server's name has no address
  kConnectFailed,     // the server could not be reached or did not let us in
  kSecureFailed,      // no secure connection: handshake failed, STLS refused or unanswered
  kUntrusted,         // the server's certificate did not verify for its name
  kPasswordNeeded,    // no password is known, so no check was made
  kStepFailed,        // another step failed; result names it
  kEnded,             // the conversation ended after its outcome was handed over
  kNoServer,          // no check was made: the settings name no server
  kLoginDisabled,     // the server takes no password without TLS, so none was sent
  kLoginUnsendable,   // the user name or password could never be sent, so no check was made
};

// How the user name and password went to the server: as UTF-8 (RFC 6856),
// or in the system's ANSI code page as earlier versions sent them.
enum class LoginForm { kUnknown, kUtf8, kAnsi };

// One outcome of a check, presented on the user-interface thread.
struct CheckOutcome {
  OutcomeKind kind = OutcomeKind::kEnded;
  CheckResult result = kCheckCompleted;
  int count = 0;
  // The count field of the STAT reply exactly as received.
  std::string countText;
  // The form that logged in, when the check got that far.
  LoginForm loginForm = LoginForm::kUnknown;
  // With a count: the messages that were not on the server at the previous
  // check, and the sender and subject of the newest of them, newest first.
  int newCount = 0;
  std::vector<MailSummary> newest;
  // With a count: what to remember of the server for the next check.
  SeenMail seen;
};

// The outcome of a check that failed at the step result names.
CheckOutcome FailedAt(CheckResult result);
