#include "app/tarvik_app.h"

#include "dialogs/about_dlg.h"
#include "app/start_request.h"
#include "platform/ui/controls.h"
#include "res/resource.h"

CTarvikApp::CTarvikApp(Platform& platform) : m_platform(platform) {}

bool CTarvikApp::InitInstance() {
  const CopyRequest request = ParseStartRequest(m_platform.CommandLineArguments());
  const std::string settingsPath = SettingsPathFor(m_platform.ModuleFileName());
  const Services& services = m_platform.GetServices();
  if (!services.copies->Claim(settingsPath)) {
    services.copies->Forward(settingsPath, request);
    m_bDoneWithoutFrame = true;
    return false;
  }
  // With no copy running there is nothing to end.
  if (request == CopyRequest::kExit) {
    m_bDoneWithoutFrame = true;
    return false;
  }
  if (!services.network->Start()) {
    services.boxes->Show(m_platform.DialogControls().LoadText(IDP_SOCKETS_INIT_FAILED), "",
                         BoxKind::kPlain);
    return false;
  }
  CommandTarget* const commands = this;
  m_pMainFrame = std::make_unique<CMainFrame>(m_platform, commands);
  if (!m_pMainFrame->Create(m_platform.DialogControls().LoadText(IDR_MAINFRAME))) return false;
  const WindowHandle frame = m_pMainFrame->Handle();
  if (!ProcessShellCommand(m_platform.CommandLineArguments())) {
    m_platform.DestroyWindow(frame);
    return false;
  }
  m_platform.HideWindow(frame);
  return true;
}

int CTarvikApp::Run() { return m_platform.RunMessageLoop(); }

void CTarvikApp::OnAppAbout() {
  CAboutDlg about(m_platform);
  about.DoModal();
}

bool CTarvikApp::OnCommand(unsigned command) {
  if (command != ID_APP_ABOUT) return false;
  OnAppAbout();
  return true;
}

// The program has no options of its own: switches are passed over, and a
// file named on the command line is opened and nothing read from it, so all
// that can happen is that it cannot be opened.
bool CTarvikApp::ProcessShellCommand(const std::vector<std::string>& arguments) {
  for (const std::string& argument : arguments) {
    if (argument.empty() || argument[0] == '/' || argument[0] == '-') continue;
    if (m_platform.GetServices().files->Exists(argument)) return true;
    m_platform.GetServices().boxes->Show("Cannot open the file \"" + argument + "\".", "",
                                         BoxKind::kWarning);
    return false;
  }
  return true;
}
