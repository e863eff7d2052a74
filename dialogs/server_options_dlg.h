#pragma once

#include <optional>
#include <string>

#include "dialogs/sign_in_button.h"
#include "platform/ui/dialog.h"
#include "settings/accounts.h"

// The modal dialog for the mailbox connection: server, user name, password
// (or, for Microsoft's servers, a sign-in) and the minutes between checks.
// It works on its own members only; closing it any way but Cancel or Esc
// accepts what was typed.
class CServerOptionsDlg : public Dialog {
 public:
  CServerOptionsDlg(Platform& platform, MicrosoftSetup setup);

  std::string m_strServer;
  std::string m_strUser;
  std::string m_strPassword;
  int m_nInterval = 0;
  IconHandle m_hIcon;
  // Set for an account other than the first; empty keeps the template's.
  std::string m_strCaption;
  // The sign-in made in the dialog, if any.
  std::optional<TokenGrant> m_signedIn;

 protected:
  void DoDataExchange(DataExchange& exchange) override;
  bool OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;
  void OnClose() override;
  bool OnProgramMessage(unsigned message) override;
  bool OnCommand(int controlId) override;
  bool OnMinimize() override;
  bool OnPaint() override;
  IconHandle OnQueryDragIcon() override;

 private:
  void OnIntervalUp();
  void OnIntervalDown();
  // Keeps what was typed, then moves the interval by step unless that would
  // carry it past limit.
  void StepInterval(int step, int limit);

  SignInButton m_signIn;
};

// The server options of account, as OK left them, with a sign-in made in
// the dialog; caption names the account where it is not the first.
std::optional<AccountSettings> EditServerOptions(Platform& platform, const AccountSettings& account,
                                                 const std::string& caption,
                                                 const MicrosoftSetup& setup);
