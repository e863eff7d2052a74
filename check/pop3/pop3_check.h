#pragma once

#include <string>
#include <vector>

#include "check/check_budget.h"
#include "check/account.h"
#include "check/outcome.h"
#include "check/pop3/new_mail.h"
#include "check/signin/microsoft.h"
#include "platform/transport.h"

class EventLog;

// Where the conversation hands the outcome that must reach the user before
// QUIT goes out: the mailbox count, or a refused user name.
class OutcomeHandover {
 public:
  // Returns once the outcome has been presented, or the check was given up.
  virtual void PresentBeforeQuit(const CheckOutcome& outcome) = 0;

 protected:
  ~OutcomeHandover() = default;
};

// One complete POP3 conversation: USER and PASS (or AUTH XOAUTH2), STAT, UIDL, TOP for the
// newest new messages, QUIT. What it learns before QUIT is handed over once;
// the value returned is what is left to present afterwards (kEnded when
// nothing is). basis tells new messages from those seen before. With a log,
// the server asked and the conversation are written to it. Reaching the
// server and each reply may take timeoutMs, the whole conversation ceilingMs
// beside the handover.
CheckOutcome RunMailCheck(Transport& transport, const MailAccount& account, int timeoutMs,
                          OutcomeHandover& handover, const NewMailBasis& basis = NewMailBasis(),
                          EventLog* log = nullptr, int ceilingMs = kCheckCeilingMs);

// The count field of a STAT reply: the second run of non-space characters.
// False when the reply has no second field.
bool StatCountField(const std::string& reply, std::string& countText);
