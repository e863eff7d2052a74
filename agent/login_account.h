#pragma once

#include "check/outcome.h"
#include "check/pop3/pop3_check.h"
#include "settings/settings_file.h"

class TextCodec;

// The account a check logs in to: the settings' server, user name and
// password, with their ANSI form where it differs, and the form remembered
// from the last log-in.
MailAccount AccountToCheck(const TextCodec& codec, const MailSettings& settings);

// Remembers the form that logged in, so that only it is sent from then on.
void RememberLoginForm(MailSettings& settings, LoginForm form);

// A changed server, user name or password may need the other form: it is
// learnt again at the next log-in.
void ForgetLoginFormOnChange(const MailSettings& before, MailSettings& after);
