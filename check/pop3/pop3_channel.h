#pragma once

#include <functional>
#include <string>

#include "platform/deadline.h"
#include "platform/transport.h"

class CheckBudget;
class EventLog;

// What a reply says, decided in one place for the whole conversation.
enum class ReplyStatus {
  kPositive,  // the line starts with "+OK"
  kNegative,  // any other complete line
  kNone,      // no complete line: time ran out, connection closed or failed, line too long
};

// The status of a reply line: only its first three characters count, compared
// case-sensitively, so "+OKAY" is positive and "+ok" is not.
ReplyStatus ClassifyReply(const std::string& line);

// Sends POP3 commands and reads their one-line replies over a transport.
class Pop3Channel {
 public:
  // A reply line may not exceed this, its line end included.
  static constexpr size_t kMaxReplyLength = 9999;
  // A command line may not exceed this, its CR LF included (RFC 2449).
  static constexpr size_t kMaxCommandLength = 255;

  // With a log, every command and the first line of every reply is written
  // to it, the password never. With a budget, no reply waits longer than
  // what is left of it.
  Pop3Channel(Transport& transport, int timeoutMs, EventLog* log = nullptr,
              const CheckBudget* budget = nullptr);

  // Whether the line can go out as a command: one that itself holds CR, LF
  // or NUL would smuggle further commands into the conversation, and one
  // longer than a server must accept could be cut anywhere.
  static bool Sendable(const std::string& line);
  // Sends the line with CR LF; a line that is not Sendable never goes out.
  bool SendCommand(const std::string& line);
  // Sends a line of a SASL exchange, which is not a command: it may be as
  // long as kMaxSaslLine, and the log shows it as "***".
  bool SendSaslLine(const std::string& line);
  // Reads the next reply line, without its line end, and says what it is.
  ReplyStatus ReadReply(std::string& line);
  // Reads a multi-line reply, status line and body alike under one time
  // limit: when the status is positive, each body line (dot-stuffing undone)
  // goes to onLine up to the terminating ".". kNone when the reply did not
  // end in time or ran past maxBytes. A body line longer than a reply line
  // may be ends the reply as kNone too; with longLines, it is read through
  // and dropped instead, and *longLines set.
  ReplyStatus ReadMultiLineReply(std::string& status,
                                 const std::function<void(const std::string&)>& onLine,
                                 size_t maxBytes, bool* longLines = nullptr);

 private:
  bool SendLine(const std::string& line, size_t maxLength, const std::string& logged);
  // True when the line holds no CR, LF or NUL and fits maxLength with its CR LF.
  static bool Fits(const std::string& line, size_t maxLength);
  // One line within the reply's limit; the log gets a reply's first line only.
  // With dropped, a line too long is read through: line holds its end, and
  // *dropped how much went before (0 for a line that fits).
  ReplyStatus ReadLine(std::string& line, const Deadline& deadline, bool firstOfReply,
                       size_t* dropped = nullptr);
  ReplyStatus NoReply(const char* why);
  // The limit of the next command or reply.
  int LimitMs() const;

  Transport& m_transport;
  int m_timeoutMs;
  EventLog* m_pLog;
  const CheckBudget* m_pBudget;
  // Bytes received after the end of the line last read.
  std::string m_received;
};
