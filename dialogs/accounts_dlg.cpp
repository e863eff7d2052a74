#include "dialogs/accounts_dlg.h"

#include <algorithm>

#include "dialogs/server_options_dlg.h"
#include "res/resource.h"

namespace {

// Name, server, user name and state, in dialog units from the list's edge.
const std::vector<int> kColumns = {70, 160, 220};

}  // namespace

CAccountsDlg::CAccountsDlg(Platform& platform) : Dialog(platform, IDD_ACCOUNTS) {
  m_bFitLabels = true;
}

// The list is filled by hand: its rows are not members.
void CAccountsDlg::DoDataExchange(DataExchange&) {}

bool CAccountsDlg::OnInitDialog() {
  Show(0);
  return true;
}

bool CAccountsDlg::OnCommand(int controlId) {
  switch (controlId) {
    case IDC_ACCOUNT_ADD:
      OnAdd();
      return true;
    case IDC_ACCOUNT_EDIT:
      OnEdit();
      return true;
    case IDC_ACCOUNT_REMOVE:
      OnRemove();
      return true;
    case IDC_ACCOUNT_UP:
      OnMove(-1);
      return true;
    case IDC_ACCOUNT_DOWN:
      OnMove(1);
      return true;
    case IDC_ACCOUNT_LIST:
      OnSelect();
      return true;
    case IDC_ACCOUNT_NAME:
      OnNameChanged();
      return true;
    default:
      return false;
  }
}

void CAccountsDlg::OnAdd() {
  if (m_accounts.size() >= kMaxAccounts) return;
  AccountSettings added;
  for (const AccountSettings& account : m_accounts) added.id = std::max(added.id, account.id);
  ++added.id;
  const std::optional<AccountSettings> edited =
      EditServerOptions(m_platform, added, "New account \xE2\x80\x93 POP3 Server Options", m_setup);
  if (!edited) return;
  m_accounts.push_back(*edited);
  Show(static_cast<int>(m_accounts.size()) - 1);
}

// The first account's options look as the menu's Server options show them.
void CAccountsDlg::OnEdit() {
  const int row = Selected();
  if (row < 0) return;
  const std::string caption =
      row == 0 ? std::string()
               : DisplayNames(m_accounts)[static_cast<size_t>(row)] +
                     " \xE2\x80\x93 POP3 Server Options";
  if (const std::optional<AccountSettings> edited =
          EditServerOptions(m_platform, m_accounts[static_cast<size_t>(row)], caption, m_setup))
    m_accounts[static_cast<size_t>(row)] = *edited;
  Show(row);
}

void CAccountsDlg::OnRemove() {
  const int row = Selected();
  if (row < 0 || m_accounts.size() < 2) return;
  m_accounts.erase(m_accounts.begin() + row);
  Show(std::min(row, static_cast<int>(m_accounts.size()) - 1));
}

void CAccountsDlg::OnMove(int step) {
  const int row = Selected();
  const int to = row + step;
  if (row < 0 || to < 0 || to >= static_cast<int>(m_accounts.size())) return;
  std::swap(m_accounts[static_cast<size_t>(row)], m_accounts[static_cast<size_t>(to)]);
  Show(to);
}

// A field that already holds the name is left alone: setting the text the
// user is typing would put the caret back at its start.
void CAccountsDlg::OnSelect() {
  const int row = Selected();
  const std::string name = row < 0 ? std::string() : m_accounts[static_cast<size_t>(row)].name;
  if (DialogControls().Text(Handle(), IDC_ACCOUNT_NAME) != name) {
    m_bFilling = true;
    DialogControls().SetText(Handle(), IDC_ACCOUNT_NAME, name);
    m_bFilling = false;
  }
  const size_t count = m_accounts.size();
  Controls& controls = DialogControls();
  controls.Enable(Handle(), IDC_ACCOUNT_ADD, count < kMaxAccounts);
  controls.Enable(Handle(), IDC_ACCOUNT_EDIT, row >= 0);
  controls.Enable(Handle(), IDC_ACCOUNT_REMOVE, row >= 0 && count > 1);
  controls.Enable(Handle(), IDC_ACCOUNT_UP, row > 0);
  controls.Enable(Handle(), IDC_ACCOUNT_DOWN, row >= 0 && row + 1 < static_cast<int>(count));
}

void CAccountsDlg::OnNameChanged() {
  const int row = Selected();
  if (m_bFilling || row < 0) return;
  std::string& name = m_accounts[static_cast<size_t>(row)].name;
  const std::string typed = DialogControls().Text(Handle(), IDC_ACCOUNT_NAME);
  if (typed == name) return;
  name = typed;
  Show(row);
}

void CAccountsDlg::Show(int selected) {
  const std::vector<std::string> names = DisplayNames(m_accounts);
  std::vector<std::string> rows;
  for (size_t i = 0; i < m_accounts.size(); ++i) {
    const auto state = m_states.find(m_accounts[i].id);
    rows.push_back(names[i] + "\t" + m_accounts[i].server + "\t" + m_accounts[i].user + "\t" +
                   (state == m_states.end() ? "Not checked yet" : state->second));
  }
  DialogControls().SetListRows(Handle(), IDC_ACCOUNT_LIST, rows, kColumns, selected);
  OnSelect();
}

int CAccountsDlg::Selected() {
  const int row = DialogControls().SelectedRow(Handle(), IDC_ACCOUNT_LIST);
  return row < static_cast<int>(m_accounts.size()) ? row : -1;
}

std::optional<std::vector<AccountSettings>> EditAccounts(
    Platform& platform, const std::vector<AccountSettings>& accounts,
    const std::vector<std::string>& states, const MicrosoftSetup& setup) {
  CAccountsDlg dialog(platform);
  dialog.m_accounts = accounts;
  dialog.m_setup = setup;
  for (size_t i = 0; i < accounts.size() && i < states.size(); ++i)
    dialog.m_states[accounts[i].id] = states[i];
  if (dialog.DoModal() != kIdOk) return std::nullopt;
  return dialog.m_accounts;
}
