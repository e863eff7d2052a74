#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "agent/autorun_switch.h"
#include "agent/presenter.h"
#include "agent/roster.h"
#include "agent/settings_exchange.h"
#include "agent/settings_keeper.h"
#include "agent/tray_icon.h"
#include "platform/ui/frame_window.h"

// Where a command goes that the frame does not handle itself.
class CommandTarget {
 public:
  // True when the command was handled.
  virtual bool OnCommand(unsigned command) = 0;

 protected:
  ~CommandTarget() = default;
};

// The program's hidden main window. Everything the program does arrives here
// as a message and goes on to the one that does it: the tray icon, the menu,
// the accounts' monitors, the dialogs. It owns them and the settings.
class CMainFrame : public FrameWindow {
 public:
  CMainFrame(Platform& platform, CommandTarget* nextCommandTarget);
  ~CMainFrame() override;

  // Checks every account beside the user interface, each unless its check
  // is already running; what they find is presented as it arrives.
  void CheckNow();
  // True while any account's check runs or waits on its presentation.
  bool IsChecking() const;
  const MailSettings& Settings() const { return m_keeper.Settings(); }
  // Takes settings as a dialog's OK does, without saving them.
  void ApplySettings(const MailSettings& settings);
  // The tray icon as the shell shows it.
  const TrayRecord& Icon() const { return m_tray.Record(); }
  // The monitor of the account at index, in the settings' order.
  AccountMonitor& Monitor(size_t index) { return m_roster.At(index); }

  int m_bAutorun = 0;
  std::string m_strSettingsPath;

 private:
  bool OnCreate() override;
  void OnTimer(unsigned id) override;
  void OnClose() override;
  void OnEndSession(bool ending) override;
  void OnDestroy() override;
  void OnResume() override;
  void OnCommand(unsigned command) override;
  bool OnMessage(unsigned message, uintptr_t wParam, intptr_t lParam) override;
  void OnTrayEvent(TrayEvent event);
  void OnCopyRequest(CopyRequest request);
  void OnNetworkChanged();
  void OnCheckOutcome();
  void OnServerOptions();
  void OnAccounts();
  void OnSoundOptions();
  void OnNotificationOptions();
  void OnOpenMail();
  void OnTrayExit();
  void OnTrayAbout();
  void OnAutorun();

  // Starts the checks of the accounts at these places as one trigger.
  void Check(const std::vector<size_t>& accounts);
  void StartTelling();
  // Takes, saves and checks what a dialog's OK changed.
  void Apply(const std::optional<ChangedSettings>& changed);
  bool CanOpenMail();
  void Note(const std::string& event);

  const Services m_services;
  CommandTarget* m_pNextCommandTarget;
  SettingsKeeper m_keeper;
  TrayIcon m_tray;
  AutorunSwitch m_autorun;
  bool m_bAutorunAvailable = false;
  std::shared_ptr<Outbox> m_pOutbox;
  Roster m_roster;
  Presenter m_presenter;
};
