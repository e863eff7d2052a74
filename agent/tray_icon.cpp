#include "agent/tray_icon.h"

namespace {

// At log-on the shell may not be ready to take the icon yet; the timer ticks
// retry for five minutes before the program gives up on it.
constexpr int kAddRetries = 30;

}  // namespace

void TrayIcon::Create(WindowHandle window, unsigned id, unsigned callbackMessage, int picture,
                      const std::string& tip) {
  m_record.window = window;
  m_record.id = id;
  m_record.callbackMessage = callbackMessage;
  m_record.pictureId = picture;
  m_record.tip = tip;
  Add();
}

void TrayIcon::Tick() {
  if (m_nRetriesLeft == 0) return;
  --m_nRetriesLeft;
  TryAdd();
}

void TrayIcon::Show(int picture, const std::string& tip) {
  if (picture) m_record.pictureId = picture;
  if (!tip.empty()) m_record.tip = tip;
  m_pTray->Modify(m_record);
}

void TrayIcon::ShowBalloon(const Balloon& balloon) { m_pTray->ShowBalloon(m_record, balloon); }

// A refused add leaves the icon as it was: one the shell may still show must
// be removed at the end.
void TrayIcon::Remove() {
  m_nRetriesLeft = 0;
  if (!m_bAdded) return;
  m_pTray->Remove(m_record);
  m_bAdded = false;
}

void TrayIcon::Add() {
  m_nRetriesLeft = kAddRetries;
  TryAdd();
}

void TrayIcon::TryAdd() {
  if (!m_pTray->Add(m_record)) return;
  m_bAdded = true;
  m_nRetriesLeft = 0;
}
