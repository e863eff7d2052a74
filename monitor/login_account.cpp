#include "monitor/login_account.h"

#include "platform/text_codec.h"

MailAccount AccountToCheck(const TextCodec& codec, const AccountSettings& settings) {
  MailAccount account;
  account.server = settings.server;
  account.user = settings.user;
  account.password = settings.password;
  std::string ansiUser;
  std::string ansiPassword;
  if (codec.ToAnsi(settings.user, ansiUser) && codec.ToAnsi(settings.password, ansiPassword) &&
      (ansiUser != settings.user || ansiPassword != settings.password)) {
    account.ansiUser = ansiUser;
    account.ansiPassword = ansiPassword;
  }
  account.form = settings.loginForm;
  return account;
}

void ForgetLoginFormOnChange(const AccountSettings& before, AccountSettings& after) {
  if (before.server != after.server || before.user != after.user ||
      before.password != after.password)
    after.loginForm = LoginForm::kUnknown;
}
