#pragma once

#include <string>

#include "check/check_budget.h"
#include "check/outcome.h"
#include "check/pop3/new_mail.h"
#include "platform/transport.h"

class EventLog;

// The mailbox to check.
struct Pop3Account {
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

// Where the conversation hands the outcome that must reach the user before
// QUIT goes out: the mailbox count, or a refused user name.
class OutcomeHandover {
 public:
  // Returns once the outcome has been presented, or the check was given up.
  virtual void PresentBeforeQuit(const CheckOutcome& outcome) = 0;

 protected:
  ~OutcomeHandover() = default;
};

// One complete POP3 conversation: USER, PASS, STAT, UIDL, TOP for the
// newest new messages, QUIT. What it learns before QUIT is handed over once;
// the value returned is what is left to present afterwards (kEnded when
// nothing is). basis tells new messages from those seen before. With a log,
// the server asked and the conversation are written to it. Reaching the
// server and each reply may take timeoutMs, the whole conversation ceilingMs
// beside the handover.
CheckOutcome RunMailCheck(Transport& transport, const Pop3Account& account, int timeoutMs,
                          OutcomeHandover& handover, const NewMailBasis& basis = NewMailBasis(),
                          EventLog* log = nullptr, int ceilingMs = kCheckCeilingMs);

// The outcome of a check that failed at the step result names.
CheckOutcome FailedAt(CheckResult result);

// The count field of a STAT reply: the second run of non-space characters.
// False when the reply has no second field.
bool StatCountField(const std::string& reply, std::string& countText);
