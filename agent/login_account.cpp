#include "agent/login_account.h"

#include "platform/text_codec.h"

namespace {

constexpr char kLoginFormKey[] = "LoginForm";
constexpr char kUtf8Form[] = "UTF-8";
constexpr char kAnsiForm[] = "ANSI";

}  // namespace

MailAccount AccountToCheck(const TextCodec& codec, const MailSettings& settings) {
  MailAccount account;
  account.server = settings.m_strServer;
  account.user = settings.m_strUser;
  account.password = settings.m_strPassword;
  std::string ansiUser;
  std::string ansiPassword;
  if (codec.ToAnsi(settings.m_strUser, ansiUser) &&
      codec.ToAnsi(settings.m_strPassword, ansiPassword) &&
      (ansiUser != settings.m_strUser || ansiPassword != settings.m_strPassword)) {
    account.ansiUser = ansiUser;
    account.ansiPassword = ansiPassword;
  }
  const std::string form = settings.m_extras.Text(kLoginFormKey);
  account.form = form == kUtf8Form   ? LoginForm::kUtf8
                 : form == kAnsiForm ? LoginForm::kAnsi
                                     : LoginForm::kUnknown;
  return account;
}

void RememberLoginForm(MailSettings& settings, LoginForm form) {
  if (form == LoginForm::kUnknown) return;
  settings.m_extras.SetText(kLoginFormKey, form == LoginForm::kAnsi ? kAnsiForm : kUtf8Form);
}

void ForgetLoginFormOnChange(const MailSettings& before, MailSettings& after) {
  if (before.m_strServer != after.m_strServer || before.m_strUser != after.m_strUser ||
      before.m_strPassword != after.m_strPassword)
    after.m_extras.SetText(kLoginFormKey, std::string());
}
