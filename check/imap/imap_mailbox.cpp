#include "check/imap/imap_mailbox.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <map>
#include <vector>

#include "mail/header_reader.h"

namespace {

// The UIDs above a floor: how many, the highest, and the newest few.
struct UidTally {
  explicit UidTally(uint32_t floor) : above(floor) {}

  void Add(uint32_t uid) {
    if (uid <= above) return;
    if (count < INT_MAX) ++count;
    highest = std::max(highest, uid);
    if (std::find(newest.begin(), newest.end(), uid) != newest.end()) return;
    newest.insert(std::upper_bound(newest.begin(), newest.end(), uid, std::greater<uint32_t>()),
                  uid);
    if (newest.size() > kMaxSummaries) newest.pop_back();
  }

  uint32_t above;
  int count = 0;
  uint32_t highest = 0;
  std::vector<uint32_t> newest;  // highest first
};

// An atom that is name, in any case, or with prefix starts with it.
bool NameIs(const ImapToken& token, const char* name, bool prefix = false) {
  if (token.type != ImapToken::Type::kAtom) return false;
  size_t i = 0;
  for (; i < token.text.size() && name[i]; ++i)
    if (std::toupper(static_cast<unsigned char>(token.text[i])) != name[i]) return false;
  return !name[i] && (prefix || i == token.text.size());
}

// The value that follows the item named name in a response's data.
const ImapToken* ItemValue(const ImapResponse& response, const char* name) {
  for (size_t i = 0; i + 1 < response.data.size(); ++i)
    if (NameIs(response.data[i], name)) return &response.data[i + 1];
  return nullptr;
}

bool Examine(ImapChannel& channel, uint32_t& uidValidity, uint32_t& uidNext) {
  const auto onUntagged = [&](const ImapResponse& response) {
    uint32_t value = 0;
    if (response.name == "OK" && ImapNumber(response.codeText, value)) {
      if (response.code == "UIDVALIDITY") uidValidity = value;
      if (response.code == "UIDNEXT") uidNext = value;
    }
  };
  if (channel.Run("EXAMINE INBOX", onUntagged) != ImapStatus::kOk) return false;
  channel.TakeChange();
  return true;
}

// The unseen messages: counted by the server with ESEARCH, otherwise by
// their UIDs, which all reach every tally in turn.
bool CountUnseen(ImapChannel& channel, bool esearch, const std::vector<UidTally*>& tallies,
                 int& count) {
  const ImapReader::NumberSink sink = [&tallies](uint32_t uid) {
    for (UidTally* tally : tallies) tally->Add(uid);
  };
  if (!esearch) {
    if (channel.Run("UID SEARCH UNSEEN", nullptr, nullptr, &sink) != ImapStatus::kOk) return false;
    count = tallies[0]->count;
    return true;
  }
  bool counted = false;
  const auto onUntagged = [&](const ImapResponse& response) {
    const ImapToken* value = ItemValue(response, "COUNT");
    uint32_t number = 0;
    if (response.name == "ESEARCH" && value && ImapNumber(value->text, number)) {
      count = static_cast<int>(std::min<uint32_t>(number, INT_MAX));
      counted = true;
    }
  };
  if (channel.Run("UID SEARCH RETURN (COUNT) UNSEEN", onUntagged, nullptr, &sink) !=
      ImapStatus::kOk)
    return false;
  // No COUNT means no match (RFC 4731, 3.1), unless the server answered
  // with a plain "* SEARCH" after all.
  if (!counted) count = tallies[0]->count;
  return true;
}

// The sender and subject of each message in uids that the server still
// has, in the order of uids; a header too long to keep gives an empty one.
// False when the FETCH was not completed.
bool ReadHeaders(ImapChannel& channel, const std::vector<uint32_t>& uids,
                 const CharsetDecoder* charsets, std::vector<MailSummary>& newest) {
  std::string set;
  for (uint32_t uid : uids) set += (set.empty() ? "" : ",") + std::to_string(uid);
  std::map<uint32_t, MailSummary> found;
  const auto onUntagged = [&](const ImapResponse& response) {
    const ImapToken* uidValue = ItemValue(response, "UID");
    uint32_t uid = 0;
    if (response.name != "FETCH" || !uidValue || !ImapNumber(uidValue->text, uid)) return;
    for (size_t i = 0; i + 1 < response.data.size(); ++i) {
      if (!NameIs(response.data[i], "BODY[", true)) continue;
      const ImapToken& header = response.data[i + 1];
      found[uid] = header.type == ImapToken::Type::kString ? ReadMailSummary(header.text, charsets)
                                                           : MailSummary();
    }
  };
  const ImapStatus status =
      channel.Run("UID FETCH " + set + " BODY.PEEK[HEADER.FIELDS (FROM SUBJECT DATE)]", onUntagged);
  if (status == ImapStatus::kNone) return false;
  for (uint32_t uid : uids) {
    const auto summary = found.find(uid);
    if (summary != found.end()) newest.push_back(summary->second);
  }
  return true;
}

}  // namespace

CheckOutcome CountInbox(ImapChannel& channel, bool esearch, const NewMailBasis& basis) {
  uint32_t uidValidity = 0, uidNext = 0;
  if (!Examine(channel, uidValidity, uidNext)) return FailedAt(kCheckMailboxFailed);
  // UIDs stay valid only while UIDVALIDITY stays the same (RFC 9051, 2.3.1.1).
  const SeenMail& seen = basis.seen;
  const uint32_t last =
      seen.known && seen.uidValidity != 0 && seen.uidValidity == uidValidity ? seen.lastUid : 0;
  UidTally unseen(0), fresh(last);
  int count = 0;
  // Without ESEARCH the count's UIDs are all the unseen ones: the new ones are among them.
  if (!CountUnseen(
          channel, esearch,
          esearch ? std::vector<UidTally*>{&unseen} : std::vector<UidTally*>{&unseen, &fresh},
          count))
    return FailedAt(kCheckMailboxFailed);
  // With ESEARCH the UIDs are asked for apart, unless EXAMINE said no
  // message is above last. "last+1:*" always takes in the highest message,
  // however low its UID (RFC 3501, 6.4.8): the tally drops it.
  const bool newerExist = last < UINT32_MAX && (uidNext == 0 || uidNext - 1 > last);
  if (esearch && newerExist) {
    const ImapReader::NumberSink sink = [&fresh](uint32_t uid) { fresh.Add(uid); };
    if (channel.Run("UID SEARCH UNSEEN UID " + std::to_string(uint64_t{last} + 1) + ":*", nullptr,
                    nullptr, &sink) != ImapStatus::kOk)
      return FailedAt(kCheckMailboxFailed);
  }
  CheckOutcome counted;
  counted.kind = OutcomeKind::kMailboxCount;
  counted.count = count;
  counted.countText = std::to_string(count);
  counted.newCount = fresh.count;
  if (!fresh.newest.empty() &&
      !ReadHeaders(channel, fresh.newest, basis.charsets.get(), counted.newest))
    return FailedAt(kCheckMailboxFailed);
  counted.seen.known = true;
  counted.seen.account = seen.account;
  counted.seen.uidValidity = uidValidity;
  counted.seen.count = count;
  counted.seen.lastUid =
      std::max({last, uidNext == 0 ? 0u : uidNext - 1, unseen.highest, fresh.highest});
  return counted;
}
