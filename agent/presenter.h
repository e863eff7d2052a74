#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "agent/gathering.h"
#include "agent/presentation.h"
#include "agent/roster.h"
#include "agent/tray_icon.h"
#include "platform/ui/frame_window.h"

// Shows what the accounts' checks hand over, as Decide decides it: the
// picture and tooltip the moment an outcome arrives, the rest told once for
// the outcomes that began together. It ends each conversation once its
// outcome was shown.
class Presenter {
 public:
  Presenter(Platform& platform, const FrameWindow& frame, TrayIcon& tray, Roster& roster);

  // Checks of these accounts began together.
  void Began(const std::vector<int>& accounts) { m_gathering.Begin(accounts); }
  // An outcome of the account at index, taken from its monitor.
  void Arrive(size_t index, const AccountOutcome& outcome, const MailSettings& settings);
  // Tells what waited its time out; true while something is still held.
  bool TellDue(const MailSettings& settings);
  // Says once in a balloon where the server is set, at a first start.
  void GuideAtFirstStart() { m_bGuide = true; }
  // Every account as the presentation sees it.
  std::vector<AccountView> Views();
  // Where a sound that did not play is noted; null while the log is off.
  void SetLog(std::shared_ptr<EventLog> log) { m_pLog = std::move(log); }

 private:
  void Tell(const std::vector<AccountOutcome>& group, const MailSettings& settings);
  void Show(const Announcement& told, const std::vector<Arrival>& arrivals);
  void Remember(const Announcement& told);
  void PlaySound(const std::string& fileName);

  Platform& m_platform;
  const FrameWindow& m_frame;
  const Services m_services;
  TrayIcon& m_tray;
  Roster& m_roster;
  Gathering m_gathering;
  bool m_bBoxOpen = false;
  bool m_bGuide = false;
  std::shared_ptr<EventLog> m_pLog;
};

// An account's last outcome in words, as the Accounts dialog lists it.
std::string StateInWords(const AccountMemory& memory);
