#include "agent/presentation.h"

#include "platform/win_constants.h"
#include "res/resource.h"

const char kAnnounceOnlyNewKey[] = "AnnounceOnlyNewMail";
const char kShowNotificationKey[] = "ShowNotification";
const char kShowSenderKey[] = "ShowSenderAndSubject";

namespace {

std::string Plural(int count, const char* one, const char* many) {
  return std::to_string(count) + (count == 1 ? one : many);
}

// Each line is cut to a third of the balloon, so that three of them and
// the "and K more" after them always fit whole.
constexpr size_t kBalloonLineUnits = 75;

// "Sender: Subject" per message, newest first, then how many more there are.
std::string BalloonLines(const CheckOutcome& outcome, bool withSenders) {
  const std::string count = Plural(outcome.newCount, " new message", " new messages");
  if (!withSenders) return count;
  std::string text;
  int shown = 0;
  for (const MailSummary& mail : outcome.newest) {
    const std::string line = mail.sender.empty() || mail.subject.empty()
                                 ? mail.sender + mail.subject
                                 : mail.sender + ": " + mail.subject;
    if (line.empty()) continue;
    text += (text.empty() ? "" : "\n") + CutToUtf16Units(line, kBalloonLineUnits);
    ++shown;
  }
  if (shown == 0) return count;
  if (outcome.newCount > shown) text += "\nand " + std::to_string(outcome.newCount - shown) + " more";
  return text;
}

std::optional<std::string> SoundIfOn(int soundSwitch, const std::string& fileName) {
  if (soundSwitch != 1) return std::nullopt;
  return fileName;
}

void DecideCount(const CheckOutcome& outcome, const MailSettings& settings, Announcement& told) {
  if (outcome.count <= 0) {
    told.tip = "No messages waiting";
    told.picture = IDI_NOMAIL;
    told.sound = SoundIfOn(settings.m_bNoMailSound, settings.m_strNoMailWav);
    return;
  }
  told.tip = "You have " + PrintableText(outcome.countText) +
             (outcome.count > 1 ? " messages waiting" : " message waiting");
  told.picture = IDI_NEWMAIL;
  if (outcome.newCount > 0 &&
      settings.m_extras.Switch(kShowNotificationKey, kShowNotificationByDefault)) {
    told.balloonTitle = CutToUtf16Units(Plural(outcome.newCount, " new message", " new messages"),
                                        kBalloonTitleUnits);
    told.balloonText =
        BalloonLines(outcome, settings.m_extras.Switch(kShowSenderKey, kShowSenderByDefault));
  }
  // The tip and picture follow every check; the rest only news, unless the
  // user wants the count told at every check.
  if (outcome.newCount == 0 &&
      settings.m_extras.Switch(kAnnounceOnlyNewKey, kAnnounceOnlyNewByDefault))
    return;
  told.sound = SoundIfOn(settings.m_bNewMailSound, settings.m_strNewMailWav);
  told.foreground = true;
  if (settings.m_bShowCount == 1) {
    told.box = told.tip;
    told.boxIcon = win::kMbIconInformation;
  }
}

}  // namespace

std::string PrintableText(const std::string& text) {
  std::string shown = text;
  for (char& c : shown)
    if (c < 0x20 || c > 0x7E) c = '?';
  return shown;
}

std::string CutToUtf16Units(const std::string& utf8, size_t units) {
  size_t used = 0;
  for (size_t at = 0; at < utf8.size();) {
    const unsigned char lead = static_cast<unsigned char>(utf8[at]);
    const size_t length = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    const size_t needed = length == 4 ? 2 : 1;
    if (used + needed > units || at + length > utf8.size()) return utf8.substr(0, at);
    used += needed;
    at += length;
  }
  return utf8;
}

Announcement Decide(const CheckOutcome& outcome, const MailSettings& settings) {
  Announcement told;
  told.boxIcon = win::kMbIconExclamation;
  switch (outcome.kind) {
    case OutcomeKind::kMailboxCount:
      DecideCount(outcome, settings, told);
      break;
    case OutcomeKind::kUserRejected:
      told.foreground = true;
      told.box = "Incorrect user name!";
      break;
    case OutcomeKind::kPasswordRejected:
      told.foreground = true;
      told.box = "Incorrect password or user name!";
      break;
    case OutcomeKind::kResolveFailed:
      told.tip = "Couldn't resolve POP3 name!";
      break;
    case OutcomeKind::kConnectFailed:
      told.tip = "Couldn't connect to POP3 server!";
      break;
    case OutcomeKind::kSecureFailed:
      told.tip = "Couldn't make a secure connection!";
      break;
    case OutcomeKind::kUntrusted:
      told.tip = "Server certificate isn't trusted!";
      break;
    case OutcomeKind::kStepFailed:
    case OutcomeKind::kEnded:
      break;
  }
  told.failed = outcome.result != kCheckCompleted;
  if (told.failed) told.errorSound = SoundIfOn(settings.m_bErrorSound, settings.m_strErrorWav);
  return told;
}
