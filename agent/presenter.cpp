#include "agent/presenter.h"

#include "res/resource.h"

namespace {

constexpr char kCheckCaption[] = "DOV3 Ozez Ezevada";

bool SomethingToTell(const Announcement& told) {
  return told.sound || told.errorSound || told.foreground || !told.boxes.empty() ||
         !told.balloonTitle.empty();
}

}  // namespace

std::string StateInWords(const AccountMemory& memory) {
  switch (memory.shown) {
    case AccountMemory::Shown::kCount:
      return memory.count > 0 ? std::to_string(memory.count) + " waiting" : "none";
    case AccountMemory::Shown::kText:
      return memory.text;
    case AccountMemory::Shown::kNothing:
      break;
  }
  return "Not connected";
}

Presenter::Presenter(Platform& platform, const FrameWindow& frame, TrayIcon& tray, Roster& roster)
    : m_platform(platform),
      m_frame(frame),
      m_services(platform.GetServices()),
      m_tray(tray),
      m_roster(roster) {}

std::vector<AccountView> Presenter::Views() {
  std::vector<AccountView> views;
  for (size_t i = 0; i < m_roster.Count(); ++i) {
    const AccountSettings& account = m_roster.At(i).Account();
    views.push_back({m_roster.Count() > 1 ? m_roster.Names()[i] : std::string(),
                     account.server + '\n' + account.user + '\n' + account.password,
                     m_roster.At(i).memory});
  }
  return views;
}

// An outcome that has nothing to tell ends its conversation at once; one
// that has waits for those it began with, while the tooltip and picture
// show it already.
void Presenter::Arrive(size_t index, const AccountOutcome& outcome, const MailSettings& settings) {
  if (m_bGuide && outcome.outcome.kind == OutcomeKind::kNoServer) {
    m_bGuide = false;
    m_tray.ShowBalloon(Balloon{"Tarvik", "No POP3 server set: right-click, Server options",
                               IDI_NOTCONNECTED, false, false});
  }
  const std::vector<Arrival> arrival{{index, outcome.outcome}};
  const Announcement alone = Decide(Views(), arrival, settings, m_bBoxOpen);
  const bool toTell = SomethingToTell(alone);
  const std::vector<AccountOutcome> now =
      m_gathering.Arrive(outcome, toTell, std::chrono::steady_clock::now());
  if (!toTell) {
    Remember(alone);
    if (alone.update) m_tray.Show(alone.picture, alone.tip);
    m_roster.At(index).Presented();
  } else if (now.empty()) {
    const Announcement look = Decide(Views(), arrival, settings, m_bBoxOpen, false);
    Remember(look);
    if (look.update) m_tray.Show(look.picture, look.tip);
  }
  if (!now.empty()) Tell(now, settings);
}

bool Presenter::TellDue(const MailSettings& settings) {
  for (const auto& group : m_gathering.Due(std::chrono::steady_clock::now())) Tell(group, settings);
  return m_gathering.Holding();
}

void Presenter::Tell(const std::vector<AccountOutcome>& group, const MailSettings& settings) {
  std::vector<Arrival> arrivals;
  for (const AccountOutcome& outcome : group) {
    const size_t index = m_roster.IndexOf(outcome.account);
    if (index < m_roster.Count()) arrivals.push_back({index, outcome.outcome});
  }
  const Announcement told = Decide(Views(), arrivals, settings, m_bBoxOpen);
  Remember(told);
  Show(told, arrivals);
}

void Presenter::Remember(const Announcement& told) {
  for (size_t i = 0; i < told.remembered.size() && i < m_roster.Count(); ++i)
    m_roster.At(i).memory = told.remembered[i];
}

// In the order Decide gives. The conversations of the accounts a box tells
// end when it closes; the others' at once. The program may be closed while
// a box is open, and the accounts may change meanwhile: they are known by
// their ids across it. With several accounts the icon follows the outcomes
// before the box: the box may stay open for hours while other accounts'
// outcomes change the icon, which its closing must not put back.
void Presenter::Show(const Announcement& told, const std::vector<Arrival>& arrivals) {
  const bool iconFirst = m_roster.Count() > 1;
  if (told.update && iconFirst) m_tray.Show(told.picture, told.tip);
  if (told.sound) PlaySound(*told.sound);
  if (told.foreground) m_platform.BringToFront(m_frame.Handle());
  if (!told.balloonTitle.empty())
    m_tray.ShowBalloon(Balloon{told.balloonTitle, told.balloonText, IDI_NEWMAIL,
                               told.sound.has_value(), told.news});
  std::vector<int> waiting;
  for (const Arrival& arrival : arrivals) {
    AccountMonitor& monitor = m_roster.At(arrival.account);
    bool inBox = false;
    for (const size_t index : told.inBox) inBox = inBox || index == arrival.account;
    if (inBox)
      waiting.push_back(monitor.Account().id);
    else
      monitor.Presented();
  }
  const bool wasOpen = m_bBoxOpen;
  m_bBoxOpen = true;
  for (const Announcement::Box& box : told.boxes) {
    m_services.boxes->Show(box.text, kCheckCaption, box.kind);
    if (!m_frame.Handle()) return;
  }
  m_bBoxOpen = wasOpen;
  for (const int id : waiting)
    if (m_roster.IndexOf(id) < m_roster.Count()) m_roster.At(m_roster.IndexOf(id)).Presented();
  if (told.errorSound) PlaySound(*told.errorSound);
  if (told.update && !iconFirst) m_tray.Show(told.picture, told.tip);
}

void Presenter::PlaySound(const std::string& fileName) {
  const std::string why = m_services.sound->Play(fileName);
  if (!why.empty() && m_pLog) m_pLog->Add("sound not played, " + why + ": " + fileName);
}
