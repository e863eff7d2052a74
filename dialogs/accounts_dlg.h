#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/dialog.h"
#include "settings/accounts.h"

// The modal dialog that lists every account (name, server, user name and
// its last outcome in words) and adds, edits, removes and orders them, the
// first account included. Add and Edit open the server options dialog. It
// works on its own members only.
class CAccountsDlg : public Dialog {
 public:
  explicit CAccountsDlg(Platform& platform);

  std::vector<AccountSettings> m_accounts;
  // Each account's last outcome in words, by account id.
  std::map<int, std::string> m_states;
  // How the server options dialog signs in with Microsoft.
  MicrosoftSetup m_setup;

 protected:
  void DoDataExchange(DataExchange& exchange) override;
  bool OnInitDialog() override;
  bool OnCommand(int controlId) override;

 private:
  void OnAdd();
  void OnEdit();
  void OnRemove();
  void OnMove(int step);
  void OnSelect();
  void OnNameChanged();
  // Lists the accounts with the row selected, and greys what cannot be done.
  void Show(int selected);
  int Selected();

  // True while the dialog itself fills the name field.
  bool m_bFilling = false;
};

// The accounts as the dialog's OK left them, in their new order.
std::optional<std::vector<AccountSettings>> EditAccounts(
    Platform& platform, const std::vector<AccountSettings>& accounts,
    const std::vector<std::string>& states, const MicrosoftSetup& setup);
