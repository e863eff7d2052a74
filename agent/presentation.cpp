#include "agent/presentation.h"

#include "platform/utf8_text.h"
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

// A rejection is boxed once: the same one again, with nothing changed and no
// success between, is told in the tooltip alone, so that a box does not wait
// at every check for a user who is away.
void DecideRejection(OutcomeKind kind, const std::string& text, const MailSettings& settings,
                     Announcement& told) {
  told.tip = text;
  const std::string account =
      settings.m_strServer + '\n' + settings.m_strUser + '\n' + settings.m_strPassword;
  if (told.remembered.boxedRejection == kind && told.remembered.boxedAccount == account) return;
  told.remembered.boxedRejection = kind;
  told.remembered.boxedAccount = account;
  told.foreground = true;
  told.box = text;
}

}  // namespace

std::string PrintableText(const std::string& text) {
  std::string shown = text;
  for (char& c : shown)
    if (c < 0x20 || c > 0x7E) c = '?';
  return shown;
}

Announcement Decide(const CheckOutcome& outcome, const MailSettings& settings,
                    const PresentationMemory& memory) {
  Announcement told;
  told.remembered = memory;
  told.boxIcon = win::kMbIconExclamation;
  switch (outcome.kind) {
    case OutcomeKind::kMailboxCount:
      DecideCount(outcome, settings, told);
      told.remembered = PresentationMemory();
      break;
    case OutcomeKind::kUserRejected:
      DecideRejection(outcome.kind, "Incorrect user name!", settings, told);
      break;
    case OutcomeKind::kPasswordRejected:
      DecideRejection(outcome.kind, "Incorrect password or user name!", settings, told);
      break;
    case OutcomeKind::kNoServer:
      told.tip = "No POP3 server set: right-click, Server options";
      told.picture = IDI_NOTCONNECTED;
      if (told.remembered.guideInBalloon) {
        told.balloonTitle = "Tarvik";
        told.balloonText = told.tip;
        told.remembered.guideInBalloon = false;
      }
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
    case OutcomeKind::kLoginDisabled:
      told.tip = "Server wants a secure connection: use imaps://";
      break;
    case OutcomeKind::kLoginUnsendable:
      DecideRejection(outcome.kind, "User name or password can't be sent: too long or a line break",
                      settings, told);
      break;
    case OutcomeKind::kPasswordNeeded:
      told.tip = "Password needed: right-click, Server options";
      told.picture = IDI_NOTCONNECTED;
      break;
    case OutcomeKind::kStepFailed:
    case OutcomeKind::kEnded:
      break;
  }
  if (outcome.kind == OutcomeKind::kEnded) return told;
  // A refused user name ends the conversation as a failure too, though it is
  // handed over before QUIT.
  told.failed = outcome.result != kCheckCompleted || outcome.kind == OutcomeKind::kUserRejected;
  // One error sound for a run of failures, not one for each retry.
  if (told.failed && !memory.failing)
    told.errorSound = SoundIfOn(settings.m_bErrorSound, settings.m_strErrorWav);
  told.remembered.failing = told.failed;
  return told;
}
