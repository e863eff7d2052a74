#include "check/pop3/new_mail.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "check/pop3/pop3_channel.h"
#include "mail/header_reader.h"

namespace {

constexpr size_t kMaxIdLength = 70;
// "n id" CR LF with the longest number and id.
constexpr size_t kMaxListingLine = 10 + 1 + kMaxIdLength + 2;
// How much of a message's header block is kept; the rest is read and dropped.
constexpr size_t kMaxHeaderBytes = 64 * 1024;

struct Listing {
  std::vector<std::pair<int, uint64_t>> entries;  // message number, id hash
  bool usable = true;   // every line was an entry, each number once
  bool inStep = true;   // the reply was read to its end
};

// No server is asked for more ids than this, whatever count it claims.
constexpr int kMaxListed = 1000000;

// An unanswered listing is taken like a refused one: the count is still
// worth showing, and a lost connection shows at QUIT.
Listing ReadListing(Pop3Channel& channel, int count) {
  Listing listing;
  count = std::min(count, kMaxListed);
  std::string status;
  if (!channel.SendCommand("UIDL")) {
    listing.usable = listing.inStep = false;
    return listing;
  }
  const auto onLine = [&](const std::string& line) {
    int number = 0;
    std::string id;
    if (listing.entries.size() >= static_cast<size_t>(count) ||
        !ParseListingLine(line, count, number, id)) {
      listing.usable = false;
      return;
    }
    listing.entries.emplace_back(number, SeenHash(id));
  };
  const size_t maxBytes = (static_cast<size_t>(count) + 1) * kMaxListingLine;
  const ReplyStatus reply = channel.ReadMultiLineReply(status, onLine, maxBytes);
  if (reply == ReplyStatus::kNone) {
    listing.usable = false;
    listing.inStep = false;
  } else if (reply == ReplyStatus::kNegative) {
    listing.usable = false;
  }
  if (listing.usable) {
    std::sort(listing.entries.begin(), listing.entries.end());
    const auto sameNumber = [](const auto& a, const auto& b) { return a.first == b.first; };
    if (std::adjacent_find(listing.entries.begin(), listing.entries.end(), sameNumber) !=
        listing.entries.end())
      listing.usable = false;
  }
  return listing;
}

// The numbers of the new messages, newest (highest) first; the listing's
// ids become what is remembered.
std::vector<int> NewFromListing(Listing& listing, const SeenMail& previous, SeenMail& next) {
  std::vector<int> fresh;
  next.ids.clear();
  next.ids.reserve(listing.entries.size());
  for (auto entry = listing.entries.rbegin(); entry != listing.entries.rend(); ++entry) {
    next.ids.push_back(entry->second);
    if (!previous.known ||
        !std::binary_search(previous.ids.begin(), previous.ids.end(), entry->second))
      fresh.push_back(entry->first);
  }
  std::vector<std::pair<int, uint64_t>>().swap(listing.entries);
  std::sort(next.ids.begin(), next.ids.end());
  next.ids.erase(std::unique(next.ids.begin(), next.ids.end()), next.ids.end());
  return fresh;
}

// Without a listing, the messages past the previous count are taken as new.
std::vector<int> NewFromCount(int count, const SeenMail& previous) {
  const int newCount = previous.known ? std::max(0, count - previous.count) : count;
  std::vector<int> fresh;
  for (int number = count; number > count - newCount && fresh.size() < kMaxSummaries; --number)
    fresh.push_back(number);
  return fresh;
}

ReplyStatus ReadSummary(Pop3Channel& channel, int number, const CharsetDecoder* charsets,
                        MailSummary& summary) {
  if (!channel.SendCommand("TOP " + std::to_string(number) + " 0")) return ReplyStatus::kNone;
  std::string status, header;
  bool full = false;
  const auto onLine = [&header, &full](const std::string& line) {
    full = full || header.size() + line.size() + 2 > kMaxHeaderBytes;
    if (!full) header += line + "\r\n";
  };
  // A line longer than a reply line may be (any sender can write one) is
  // read over; the header it broke names no sender or subject.
  bool longLines = false;
  const ReplyStatus reply =
      channel.ReadMultiLineReply(status, onLine, std::numeric_limits<size_t>::max(), &longLines);
  if (reply == ReplyStatus::kPositive && !longLines) summary = ReadMailSummary(header, charsets);
  return reply;
}

}  // namespace

bool ParseListingLine(const std::string& line, int count, int& number, std::string& id) {
  const size_t space = line.find(' ');
  if (space == 0 || space == std::string::npos || space > 10) return false;
  const std::string digits = line.substr(0, space);
  if (digits.find_first_not_of("0123456789") != std::string::npos) return false;
  long long value = 0;
  for (char digit : digits) value = value * 10 + (digit - '0');
  if (value < 1 || value > count) return false;
  id = line.substr(space + 1);
  if (id.empty() || id.size() > kMaxIdLength) return false;
  for (char c : id)
    if (c < 0x21 || c > 0x7E) return false;
  number = static_cast<int>(value);
  return true;
}

bool FindNewMail(Pop3Channel& channel, const NewMailBasis& basis, CheckOutcome& counted) {
  const int count = std::max(0, counted.count);
  SeenMail& next = counted.seen;
  next = SeenMail();
  next.known = true;
  next.account = basis.seen.account;
  next.count = count;

  Listing listing = ReadListing(channel, count);
  std::vector<int> fresh;
  if (listing.usable) {
    fresh = NewFromListing(listing, basis.seen, next);
    const size_t told = std::min(fresh.size(), static_cast<size_t>(basis.seen.toldByCount));
    fresh.erase(fresh.begin(), fresh.begin() + static_cast<std::ptrdiff_t>(told));
    counted.newCount = static_cast<int>(fresh.size());
  } else {
    next.ids = basis.seen.ids;
    fresh = NewFromCount(count, basis.seen);
    counted.newCount = basis.seen.known ? std::max(0, count - basis.seen.count) : count;
    next.toldByCount = static_cast<int>(
        std::min<int64_t>(count, int64_t{basis.seen.toldByCount} + counted.newCount));
  }
  // After a listing cut off half-way, its rest would be taken for a header.
  if (!listing.inStep) return true;
  for (size_t i = 0; i < fresh.size() && i < kMaxSummaries; ++i) {
    MailSummary summary;
    if (ReadSummary(channel, fresh[i], basis.charsets.get(), summary) == ReplyStatus::kNone)
      return false;
    counted.newest.push_back(summary);
  }
  return true;
}
