#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/deadline.h"
#include "platform/transport.h"

class EventLog;

// One item of a response's data.
struct ImapToken {
  enum class Type {
    kAtom,    // also numbers, flags ("\Seen") and "BODY[...]" with its section
    kString,  // a quoted string (escapes undone) or a literal
    kNil,
    kOpen,     // "("
    kClose,    // ")"
    kDropped,  // a literal of a FETCH response too long to keep, read and dropped
  };
  Type type = Type::kAtom;
  std::string text;
};

enum class ImapResponseKind { kTagged, kUntagged, kContinuation };

// One server response (RFC 9051, 7): a tagged or untagged line with the
// literals inside it, or a "+" continuation request.
struct ImapResponse {
  ImapResponseKind kind = ImapResponseKind::kUntagged;
  std::string tag;
  // "* n EXISTS": the n, when there is one.
  bool numbered = false;
  uint32_t number = 0;
  // The response's name in upper case: OK, NO, BAD, BYE, PREAUTH,
  // CAPABILITY, EXISTS, EXPUNGE, FETCH, SEARCH, ESEARCH...
  std::string name;
  // OK, NO, BAD, BYE and PREAUTH: the response code's name in upper case
  // ("UIDVALIDITY") and what follows it inside the brackets, as sent.
  std::string code;
  std::string codeText;
  // And the text after any code, for the user.
  std::string text;
  // Any other response: what follows the name.
  std::vector<ImapToken> data;
};

// A number of 1 to 10 digits within 32 bits; false for anything else.
bool ImapNumber(const std::string& text, uint32_t& value);

// Reads server responses from a transport, within fixed bounds, so that no
// server can make it hold more than a response or wait past a deadline.
class ImapReader {
 public:
  // A literal may not be longer than this, except in a FETCH response,
  // where a longer one is read through and dropped.
  static constexpr size_t kMaxLiteral = 64 * 1024;
  // Nor may a response, its literals included.
  static constexpr size_t kMaxResponse = 1024 * 1024;
  // Nor may a line between literals, except that of a "* SEARCH", whose
  // numbers are handed on as they come.
  static constexpr size_t kMaxLine = 64 * 1024;

  using NumberSink = std::function<void(uint32_t)>;

  // With a log, each response's first line goes to it, up to 200 bytes or to
  // the first literal's "{n}": never a literal's contents.
  ImapReader(Transport& transport, EventLog* log);

  // Reads one whole response by deadline. The numbers of a "* SEARCH" go to
  // onSearch as they are read, not into the response. False when none came
  // in time, the connection ended, or what came is no response within the
  // bounds: the connection is then of no further use.
  bool Read(ImapResponse& response, const Deadline& deadline, const NumberSink* onSearch = nullptr);
  // Waits up to timeoutMs in one receive, however long, for more to read:
  // the count of bytes now waiting, 0 when the server closed, -1 when the
  // time ran out, receiving was interrupted or the connection failed.
  int Wait(int timeoutMs);
  // Throws away whatever was received and not read.
  void Discard();

 private:
  bool Parse(ImapResponse& response, const NumberSink* onSearch);
  bool ParseStatus(ImapResponse& response);
  bool ParseSearch(const NumberSink* onSearch);
  bool ParseData(std::vector<ImapToken>& data, bool fetch);
  bool ParseAtom(std::string& atom, bool withSections);
  bool ParseQuoted(std::string& text);
  bool ParseLiteral(ImapToken& token, bool fetch);
  bool ReadText(std::string* text);
  bool LineEnd();
  bool Expect(char wanted);

  // Receives into the emptied buffer; the count as Transport::Receive gives it.
  int Refill(int timeoutMs);
  // The next byte, received if need be; false with the reason noted.
  bool Peek(char& c);
  // Takes the byte Peek saw, within the bounds.
  bool Take();
  bool AtLineEnd();
  bool Fail(const char* why);

  Transport& m_transport;
  EventLog* m_pLog;
  std::string m_buffer;
  size_t m_nRead = 0;
  // Of the response being read.
  const Deadline* m_pDeadline = nullptr;
  size_t m_nResponseBytes = 0;
  size_t m_nLineBytes = 0;
  bool m_bStreaming = false;
  std::string m_strLogged;
  bool m_bLogging = false;
  const char* m_pFailure = nullptr;
};
