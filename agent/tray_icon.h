#pragma once

#include <memory>
#include <string>

#include "platform/tray.h"

// The program's icon in the notification area: its record, the retries of
// an add the shell refused, and the add again after the shell restarted.
class TrayIcon {
 public:
  explicit TrayIcon(std::shared_ptr<Tray> tray) : m_pTray(std::move(tray)) {}

  // Adds the icon for window, crossed out, with the tooltip "Not connected".
  void Create(WindowHandle window, unsigned id, unsigned callbackMessage, int picture,
              const std::string& tip);
  // One tick of the frame's timer: retries an add the shell refused.
  void Tick();
  // The shell restarted and forgot every icon: the icon goes back as it was.
  void ShellRestarted() { Add(); }
  // Shows picture (0: as it is) and tip (empty: as it is).
  void Show(int picture, const std::string& tip);
  void ShowBalloon(const Balloon& balloon);
  // Removes the icon, if the shell may still show it.
  void Remove();
  const TrayRecord& Record() const { return m_record; }

 private:
  void Add();
  void TryAdd();

  const std::shared_ptr<Tray> m_pTray;
  TrayRecord m_record;
  bool m_bAdded = false;
  int m_nRetriesLeft = 0;
};
