#include "check/pop3/pop3_channel.h"

#include <algorithm>

#include "check/signin/xoauth2.h"
#include "check/check_budget.h"
#include "log/event_log.h"
#include "platform/deadline.h"

namespace {

constexpr size_t kReceiveChunk = 4096;
// How much unread input one command may throw away; a server that keeps
// sending faster than that is not answering anything anyway.
constexpr size_t kMaxDiscarded = 64 * 1024;
// Enough of a reply to see what the server said.
constexpr size_t kLoggedReplyLength = 200;

// The command as the log may show it: never the password nor a token.
std::string LoggedCommand(const std::string& line) {
  return line.compare(0, 5, "PASS ") == 0 ? "PASS ***" : LoggedSaslLine(line, false);
}

}  // namespace

ReplyStatus ClassifyReply(const std::string& line) {
  return line.compare(0, 3, "+OK") == 0 ? ReplyStatus::kPositive : ReplyStatus::kNegative;
}

Pop3Channel::Pop3Channel(Transport& transport, int timeoutMs, EventLog* log,
                         const CheckBudget* budget)
    : m_transport(transport), m_timeoutMs(timeoutMs), m_pLog(log), m_pBudget(budget) {}

int Pop3Channel::LimitMs() const { return m_pBudget ? m_pBudget->Limit(m_timeoutMs) : m_timeoutMs; }

// A server answers a command only after it has received it, so whatever has
// already arrived when a command goes out (an extra line after the greeting, a
// reply sent ahead of its command) is not its reply and is thrown away.
bool Pop3Channel::SendCommand(const std::string& line) {
  return SendLine(line, kMaxCommandLength, LoggedCommand(line));
}

bool Pop3Channel::SendSaslLine(const std::string& line) {
  return SendLine(line, kMaxSaslLine, LoggedSaslLine(line, true));
}

bool Pop3Channel::Sendable(const std::string& line) { return Fits(line, kMaxCommandLength); }

bool Pop3Channel::Fits(const std::string& line, size_t maxLength) {
  return line.find_first_of(std::string("\r\n\0", 3)) == std::string::npos &&
         line.size() + 2 <= maxLength;
}

bool Pop3Channel::SendLine(const std::string& line, size_t maxLength, const std::string& logged) {
  if (!Fits(line, maxLength)) return false;
  m_received.clear();
  char scratch[kReceiveChunk];
  for (size_t discarded = 0; discarded < kMaxDiscarded;) {
    const int count = m_transport.Receive(scratch, sizeof scratch, 0);
    if (count <= 0) break;
    discarded += static_cast<size_t>(count);
  }
  if (m_pLog) m_pLog->Add("> " + logged);
  return m_transport.Send(line + "\r\n", LimitMs());
}

ReplyStatus Pop3Channel::NoReply(const char* why) {
  if (m_pLog) m_pLog->Add(std::string("< no reply: ") + why);
  return ReplyStatus::kNone;
}

ReplyStatus Pop3Channel::ReadReply(std::string& line) {
  return ReadLine(line, Deadline(LimitMs()), true);
}

ReplyStatus Pop3Channel::ReadMultiLineReply(std::string& status,
                                            const std::function<void(const std::string&)>& onLine,
                                            size_t maxBytes, bool* longLines) {
  const Deadline deadline(LimitMs());
  const ReplyStatus answer = ReadLine(status, deadline, true);
  if (answer != ReplyStatus::kPositive) return answer;
  std::string line;
  size_t dropped = 0;
  for (size_t read = 0; read <= maxBytes; read += line.size() + dropped + 2) {
    if (ReadLine(line, deadline, false, longLines ? &dropped : nullptr) == ReplyStatus::kNone)
      return ReplyStatus::kNone;
    if (dropped > 0) {
      *longLines = true;
      continue;
    }
    if (line == ".") return ReplyStatus::kPositive;
    onLine(!line.empty() && line[0] == '.' ? line.substr(1) : line);
  }
  return NoReply("too long");
}

// A line ends at LF; a CR right before it is dropped, so servers that end
// lines with a bare LF are understood too.
ReplyStatus Pop3Channel::ReadLine(std::string& line, const Deadline& deadline, bool firstOfReply,
                                  size_t* dropped) {
  char chunk[kReceiveChunk];
  if (dropped) *dropped = 0;
  for (;;) {
    const size_t end = m_received.find('\n');
    if (end != std::string::npos) {
      line.assign(m_received, 0, end);
      m_received.erase(0, end + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (m_pLog && firstOfReply) m_pLog->Add("< " + line.substr(0, kLoggedReplyLength));
      return ClassifyReply(line);
    }
    if (m_received.size() >= kMaxReplyLength) {
      if (!dropped) return NoReply("too long");
      *dropped += m_received.size();
      m_received.clear();
    }
    const int left = deadline.MsLeft();
    if (left <= 0) return NoReply("timed out");
    const size_t room = std::min(sizeof chunk, kMaxReplyLength - m_received.size());
    const int count = m_transport.Receive(chunk, static_cast<int>(room), left);
    if (count == 0) return NoReply("connection closed");
    if (count < 0) return NoReply("timed out or connection lost");
    m_received.append(chunk, static_cast<size_t>(count));
  }
}
