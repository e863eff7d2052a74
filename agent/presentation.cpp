#include "agent/presentation.h"

#include "mail/safe_text.h"
#include "platform/utf8_text.h"
#include "res/resource.h"

namespace {

std::string Plural(int count, const char* one, const char* many) {
  return std::to_string(count) + (count == 1 ? one : many);
}

// Each line is cut to a third of the balloon, so that three of them and
// the "and K more" after them always fit whole.
constexpr size_t kBalloonLineUnits = 75;
constexpr size_t kBalloonLines = 3;

bool Held(OutcomeKind kind) {
  return kind == OutcomeKind::kNoServer || kind == OutcomeKind::kPasswordNeeded ||
         kind == OutcomeKind::kLoginUnsendable || kind == OutcomeKind::kSignInNeeded;
}

// Told in a box, once for the same account until something changed.
bool Refused(OutcomeKind kind) {
  return kind == OutcomeKind::kUserRejected || kind == OutcomeKind::kPasswordRejected ||
         kind == OutcomeKind::kLoginUnsendable;
}

// A refused user name ends the conversation as a failure too, though it is
// handed over before QUIT.
bool Failed(const CheckOutcome& outcome) {
  return outcome.result != kCheckCompleted || outcome.kind == OutcomeKind::kUserRejected;
}

// The text an outcome gives its account's tooltip; empty: it keeps its own.
// What the server's words advise comes first.
std::string TextOf(const CheckOutcome& outcome) {
  if (outcome.advice != Advice::kNone) return AdviceLine(outcome.advice);
  switch (outcome.kind) {
    case OutcomeKind::kUserRejected:
      return "Incorrect user name!";
    case OutcomeKind::kPasswordRejected:
      return "Incorrect password or user name!";
    case OutcomeKind::kTokenRefused:
    case OutcomeKind::kSignInNeeded:
      return "Sign-in needed: right-click, Server options";
    case OutcomeKind::kNoServer:
      return "No POP3 server set: right-click, Server options";
    case OutcomeKind::kResolveFailed:
      return "Couldn't resolve POP3 name!";
    case OutcomeKind::kConnectFailed:
      return "Couldn't connect to POP3 server!";
    case OutcomeKind::kSecureFailed:
      return "Couldn't make a secure connection!";
    case OutcomeKind::kUntrusted:
      return "Server certificate isn't trusted!";
    case OutcomeKind::kPasswordNeeded:
      return "Password needed: right-click, Server options";
    case OutcomeKind::kLoginUnsendable:
      return "User name or password can't be sent: too long or a line break";
    case OutcomeKind::kLoginDisabled:
      return "Server wants a secure connection: use imaps://";
    case OutcomeKind::kMailboxCount:
    case OutcomeKind::kStepFailed:
    case OutcomeKind::kEnded:
      break;
  }
  return std::string();
}

// Brings what the account shows up to date with the outcome.
void Observe(AccountMemory& memory, const CheckOutcome& outcome) {
  if (outcome.kind == OutcomeKind::kEnded && outcome.result == kCheckCompleted) return;
  if (outcome.kind == OutcomeKind::kMailboxCount) {
    memory.shown = AccountMemory::Shown::kCount;
    memory.count = outcome.count;
    memory.countText = outcome.countText;
    memory.note = AdviceLine(outcome.advice);
  } else if (!TextOf(outcome).empty()) {
    memory.shown = AccountMemory::Shown::kText;
    memory.text = TextOf(outcome);
    memory.note.clear();
  }
  memory.failed = Failed(outcome) || Held(outcome.kind);
}

bool HasMail(const AccountMemory& memory) {
  return !memory.failed && memory.shown == AccountMemory::Shown::kCount && memory.count > 0;
}

std::string CountTip(const AccountMemory& memory) {
  if (memory.count <= 0) return "No messages waiting";
  return "You have " + PrintableText(memory.countText) +
         (memory.count > 1 ? " messages waiting" : " message waiting");
}

// One account's line among several.
std::string TipLine(const AccountView& account, const AccountMemory& memory) {
  std::string state = "Not connected";
  if (!memory.note.empty())
    state = memory.note;
  else if (memory.shown == AccountMemory::Shown::kCount)
    state = memory.count > 0 ? std::to_string(memory.count) + " waiting" : "none";
  else if (memory.shown == AccountMemory::Shown::kText)
    state = memory.text;
  return account.name + ": " + state;
}

// As many whole lines as the tooltip shows, and how many were left out.
std::string Tip(const std::vector<AccountView>& accounts, const std::vector<AccountMemory>& memories) {
  if (accounts.size() == 1) {
    const AccountMemory& memory = memories.front();
    if (!memory.note.empty()) return memory.note;
    return memory.shown == AccountMemory::Shown::kCount ? CountTip(memory)
           : memory.shown == AccountMemory::Shown::kText ? memory.text
                                                          : "Not connected";
  }
  std::vector<std::string> lines;
  for (size_t i = 0; i < accounts.size(); ++i) lines.push_back(TipLine(accounts[i], memories[i]));
  for (size_t kept = lines.size(); kept > 0; --kept) {
    std::string tip;
    for (size_t i = 0; i < kept; ++i) tip += (i ? "\n" : "") + lines[i];
    if (kept < lines.size()) tip += "\nand " + std::to_string(lines.size() - kept) + " more";
    if (Utf16Units(tip) <= kTipUnits) return tip;
  }
  return CutToUtf16Units(lines.front(), kTipUnits);
}

int Picture(const std::vector<AccountMemory>& memories) {
  bool anyCrossed = false, allShown = true;
  for (const AccountMemory& memory : memories) {
    if (HasMail(memory)) return IDI_NEWMAIL;
    anyCrossed = anyCrossed || memory.failed;
    allShown = allShown && memory.shown != AccountMemory::Shown::kNothing;
  }
  return anyCrossed ? IDI_NOTCONNECTED : allShown ? IDI_NOMAIL : 0;
}

std::optional<std::string> SoundIfOn(int soundSwitch, const std::string& fileName) {
  if (soundSwitch != 1) return std::nullopt;
  return fileName;
}

std::string Prefixed(const AccountView& account, const std::string& text) {
  return account.name.empty() ? text : account.name + ": " + text;
}

// The balloon's lines: the latest outcome's messages first, each account's
// newest first, then how many more there are.
std::string BalloonText(const std::vector<AccountView>& accounts,
                        const std::vector<const Arrival*>& told, int newCount, bool withSenders) {
  const std::string count = Plural(newCount, " new message", " new messages");
  if (!withSenders) return count;
  std::string text;
  size_t shown = 0;
  for (auto arrival = told.rbegin(); arrival != told.rend(); ++arrival) {
    const AccountView& account = accounts[(*arrival)->account];
    for (const MailSummary& mail : (*arrival)->outcome.newest) {
      const std::string sender = SafeText(mail.sender), subject = SafeText(mail.subject);
      const std::string line =
          sender.empty() || subject.empty() ? sender + subject : sender + ": " + subject;
      if (line.empty() || shown == kBalloonLines) continue;
      const std::string named = account.name.empty() ? line : "[" + account.name + "] " + line;
      text += (text.empty() ? "" : "\n") + CutToUtf16Units(named, kBalloonLineUnits);
      ++shown;
    }
  }
  if (shown == 0) return count;
  if (newCount > static_cast<int>(shown))
    text += "\nand " + std::to_string(newCount - static_cast<int>(shown)) + " more";
  return text;
}

// The count box: the total of every account's last count, then each
// account's own where there are several.
std::string CountBox(const std::vector<AccountView>& accounts,
                     const std::vector<AccountMemory>& memories) {
  if (accounts.size() == 1) return CountTip(memories.front());
  int total = 0;
  std::string lines;
  for (size_t i = 0; i < accounts.size(); ++i) {
    if (!HasMail(memories[i])) continue;
    total += memories[i].count;
    lines += "\n" + accounts[i].name + ": " + std::to_string(memories[i].count);
  }
  return "You have " + std::to_string(total) +
         (total > 1 ? " messages waiting" : " message waiting") + lines;
}

}  // namespace

std::string PrintableText(const std::string& text) {
  std::string shown = text;
  for (char& c : shown)
    if (c < 0x20 || c > 0x7E) c = '?';
  return shown;
}

Announcement Guide(const std::string& text) {
  Announcement told;
  told.balloonTitle = "Tarvik";
  told.balloonText = text;
  told.news = false;
  return told;
}

Announcement Decide(const std::vector<AccountView>& accounts, const std::vector<Arrival>& arrivals,
                    const MailSettings& settings, bool boxOpen, bool showAll) {
  Announcement told;
  for (const AccountView& account : accounts) told.remembered.push_back(account.memory);
  for (const Arrival& arrival : arrivals) {
    Observe(told.remembered[arrival.account], arrival.outcome);
    told.update = told.update || arrival.outcome.kind != OutcomeKind::kEnded ||
                  arrival.outcome.result != kCheckCompleted;
  }
  told.picture = Picture(told.remembered);
  told.tip = Tip(accounts, told.remembered);
  if (!showAll) return told;

  std::vector<const Arrival*> withNews;
  std::vector<size_t> counted;
  int newCount = 0;
  bool countTold = false, noMail = false, error = false;
  for (const Arrival& arrival : arrivals) {
    const CheckOutcome& outcome = arrival.outcome;
    const AccountView& account = accounts[arrival.account];
    AccountMemory& memory = told.remembered[arrival.account];
    if (outcome.kind == OutcomeKind::kEnded && outcome.result == kCheckCompleted) continue;
    if (outcome.kind == OutcomeKind::kMailboxCount) {
      memory.boxedRejection = OutcomeKind::kEnded;
      memory.boxedAccount.clear();
      noMail = noMail || outcome.count <= 0;
      if (outcome.count > 0 && outcome.newCount > 0) {
        withNews.push_back(&arrival);
        newCount += outcome.newCount;
      }
      // The tip and picture follow every check; the rest only news, unless
      // the user wants the count told at every check.
      if (outcome.count > 0 && (outcome.newCount > 0 || !settings.announceOnlyNew)) {
        countTold = true;
        counted.push_back(arrival.account);
      }
    } else if (Refused(outcome.kind)) {
      // A rejection is boxed once: the same one again, with nothing changed and
      // no success between, is told in the tooltip alone, so that a box does
      // not wait at every check for a user who is away.
      if (memory.boxedRejection != outcome.kind || memory.boxedAccount != account.login) {
        memory.boxedRejection = outcome.kind;
        memory.boxedAccount = account.login;
        told.foreground = true;
        told.boxes.push_back({Prefixed(account, TextOf(outcome)), BoxKind::kWarning});
        told.inBox.push_back(arrival.account);
      }
    }
    // One error sound for a run of failures, not one for each retry.
    const bool failed = Failed(outcome);
    error = error || (failed && !memory.failing);
    memory.failing = failed;
  }
  if (!withNews.empty() && settings.showNotification) {
    told.balloonTitle =
        CutToUtf16Units(Plural(newCount, " new message", " new messages"), kBalloonTitleUnits);
    told.balloonText = BalloonText(accounts, withNews, newCount, settings.showSender);
  }
  if (countTold) {
    told.sound = SoundIfOn(settings.m_bNewMailSound, settings.m_strNewMailWav);
    told.foreground = true;
    if (settings.m_bShowCount == 1 && !boxOpen) {
      told.boxes.push_back({CountBox(accounts, told.remembered), BoxKind::kInformation});
      told.inBox.insert(told.inBox.end(), counted.begin(), counted.end());
    }
  } else if (error) {
    told.errorSound = SoundIfOn(settings.m_bErrorSound, settings.m_strErrorWav);
  } else if (noMail) {
    told.sound = SoundIfOn(settings.m_bNoMailSound, settings.m_strNoMailWav);
  }
  return told;
}
