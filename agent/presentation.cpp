#include "agent/presentation.h"

#include "platform/win_constants.h"
#include "res/resource.h"

namespace {

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
    case OutcomeKind::kPasswordNeeded:
      told.tip = "Password needed: right-click, Server options";
      told.picture = IDI_NOTCONNECTED;
      break;
    case OutcomeKind::kStepFailed:
    case OutcomeKind::kEnded:
      break;
  }
  told.failed = outcome.result != kCheckCompleted;
  if (told.failed) told.errorSound = SoundIfOn(settings.m_bErrorSound, settings.m_strErrorWav);
  return told;
}
