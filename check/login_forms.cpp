#include "check/login_forms.h"

namespace {

bool Refused(const CheckOutcome& outcome) {
  return outcome.kind == OutcomeKind::kUserRejected ||
         outcome.kind == OutcomeKind::kPasswordRejected;
}

}  // namespace

CheckOutcome LogInWithForms(const MailAccount& account, const LogInAttempt& logInAs,
                            const std::function<bool()>& reconnect, CheckResult hungUp,
                            LoginForm& form) {
  const bool hasAnsi = !account.ansiUser.empty() || !account.ansiPassword.empty();
  const bool ansi = account.form == LoginForm::kAnsi && hasAnsi;
  // Where both forms are the same bytes there is nothing to remember.
  form = !hasAnsi ? LoginForm::kUnknown : ansi ? LoginForm::kAnsi : LoginForm::kUtf8;
  CheckOutcome told = logInAs(ansi ? account.ansiUser : account.user,
                              ansi ? account.ansiPassword : account.password);
  if (told.kind == OutcomeKind::kEnded || !Refused(told) || !hasAnsi ||
      account.form != LoginForm::kUnknown)
    return told;
  form = LoginForm::kAnsi;
  told = logInAs(account.ansiUser, account.ansiPassword);
  if (told.result != hungUp || !reconnect()) return told;
  return logInAs(account.ansiUser, account.ansiPassword);
}
