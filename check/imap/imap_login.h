#pragma once

#include <optional>
#include <string>

#include "check/account.h"
#include "check/login_forms.h"
#include "check/connection.h"
#include "check/imap/imap_channel.h"
#include "check/outcome.h"

class EventLog;

// What a server lists of the capabilities this program uses.
struct ImapCapabilities {
  bool known = false;
  bool startTls = false;
  bool loginDisabled = false;
  bool literalPlus = false;  // RFC 7888
  bool idle = false;         // RFC 2177
  bool esearch = false;      // RFC 4731
  bool saslIr = false;       // RFC 4959
};

// Adds the capabilities named in text ("IMAP4rev1 IDLE ...", any case).
void AddCapabilities(const std::string& text, ImapCapabilities& capabilities);

// Reaches the server the account names and logs in: connected, secured as
// the server text asks, greeted, and logged in with LOGIN unless the greeting
// was PREAUTH, or with AUTHENTICATE XOAUTH2 when the account holds a
// sign-in token. kEnded when logged in, with capabilities those listed after
// log-in and form the form of the user name and password that did it.
CheckOutcome ReachAndLogIn(Transport& transport, Connection& connection, const MailAccount& account,
                           int timeoutMs, EventLog* log, std::optional<ImapChannel>& channel,
                           ImapCapabilities& capabilities, LoginForm& form);
