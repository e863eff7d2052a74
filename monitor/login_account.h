#pragma once

#include "check/account.h"
#include "settings/accounts.h"

class TextCodec;

// The mailbox a check logs in to: the account's server, user name and
// password, with their ANSI form where it differs, and the form remembered
// from the last log-in.
MailAccount AccountToCheck(const TextCodec& codec, const AccountSettings& account);

// A changed server, user name or password may need the other form: it is
// learnt again at the next log-in.
void ForgetLoginFormOnChange(const AccountSettings& before, AccountSettings& after);
