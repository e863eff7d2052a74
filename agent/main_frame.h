#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "agent/background_check.h"
#include "check/outcome.h"
#include "agent/presentation.h"
#include "agent/recheck.h"
#include "platform/ui/frame_window.h"
#include "settings/password_store.h"
#include "settings/settings_file.h"

// Where a command goes that the frame does not handle itself.
class CommandTarget {
 public:
  // True when the command was handled.
  virtual bool OnCommand(unsigned command) = 0;

 protected:
  ~CommandTarget() = default;
};

// The command line the system runs at log-on to start the program.
std::string AutorunCommand(const std::string& executablePath);

// The program's hidden main window: it owns the tray icon, its menu, the
// settings and the check schedule, and everything the program does arrives
// here as a message.
class CMainFrame : public FrameWindow, public MailSettings {
 public:
  CMainFrame(Platform& platform, CommandTarget* nextCommandTarget);
  ~CMainFrame() override;

  // Starts one check beside the user interface unless one is already
  // running; what it finds is presented as it arrives.
  void CheckNow();
  // True from the start of a check until its last outcome was presented.
  bool IsChecking() const { return m_pCheck != nullptr; }
  // Reads the settings file beside the executable, or takes the defaults.
  void LoadSettings();
  // Rewrites the settings file; false when it could not be replaced.
  bool SaveSettings();

  int m_bAutorun = 0;
  std::vector<MenuItem> m_menu;
  std::string m_strSettingsPath;
  int m_nTicks = 0;
  int m_nMinutes = 0;
  TrayRecord m_nid;
  PasswordStore m_passwords;

 private:
  bool OnCreate() override;
  void OnTimer(unsigned id) override;
  void OnClose() override;
  bool OnQueryEndSession() override;
  void OnEndSession(bool ending) override;
  void OnDestroy() override;
  void OnResume() override;
  void OnCommand(unsigned command) override;
  bool OnMessage(unsigned message, uintptr_t wParam, intptr_t lParam) override;
  void OnTrayEvent(TrayEvent event);
  void OnTaskbarCreated();
  void OnCopyRequest(CopyRequest request);
  void OnNetworkChanged();
  void OnCheckOutcome();
  void OnServerOptions();
  void OnSoundOptions();
  void OnNotificationOptions();
  void OnOpenMail();
  void UpdateOpenMailItem();
  void OnTrayExit();
  void OnTrayAbout();
  void OnAutorun();

  enum class AutorunChange { kDone, kFailed, kNeedsAdministrator };
  AutorunChange TurnAutorunOn();
  AutorunChange TurnAutorunOff();
  void SaveChosenSettings();
  void BuildTrayMenu();
  void AddTrayIcon();
  void TryAddTrayIcon();
  void UpdateTrayIcon();
  void PlaySound(const std::string& fileName);
  void ShowCheckMessage(const std::string& text, BoxKind kind);
  void CheckMenuItem(unsigned command, bool checked);
  void Present(const CheckOutcome& outcome);
  void AbandonCheck();
  void ApplyLogSwitch();
  void Note(const std::string& event);
  NewMailBasis SeenMailBasis();

  const Services m_services;
  CommandTarget* m_pNextCommandTarget;
  bool m_bTrayIconAdded = false;
  int m_nTrayRetriesLeft = 0;
  std::shared_ptr<BackgroundCheck> m_pCheck;
  Recheck m_recheck;
  PresentationMemory m_told;
  // Null while the log is switched off.
  std::shared_ptr<EventLog> m_pLog;
};
