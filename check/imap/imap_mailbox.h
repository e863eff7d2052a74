#pragma once

#include "check/imap/imap_channel.h"
#include "check/outcome.h"
#include "check/seen_mail.h"

// One count of INBOX on a logged-in connection: EXAMINE (read-only, so no
// flag ever changes), the unseen messages counted (UID SEARCH RETURN (COUNT)
// UNSEEN with esearch, else UID SEARCH UNSEEN), the unseen ones new since
// basis.seen found by UID, and the headers of the newest of them read
// (BODY.PEEK). The count outcome, with what to remember for the next count,
// or FailedAt(kCheckMailboxFailed). Changes the server told of before its
// EXAMINE answer are taken as counted.
CheckOutcome CountInbox(ImapChannel& channel, bool esearch, const NewMailBasis& basis);
