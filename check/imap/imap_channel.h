#pragma once

#include <functional>
#include <string>

#include "check/imap/imap_reader.h"
#include "platform/transport.h"

class EventLog;

// How the server completed a command.
enum class ImapStatus {
  kOk,
  kNo,
  kBad,
  kNone,  // no completion: time ran out, the connection ended, or what came was no response
};

// Sends tagged IMAP commands and reads their responses over a transport.
// It notes what the server tells of the mailbox unasked, whatever command
// that comes with: a message added, expunged or changed.
class ImapChannel {
 public:
  using Untagged = std::function<void(const ImapResponse&)>;

  // With a log, every command goes to it with the password masked and each
  // literal as its "{n}" alone, and the first line of every response.
  ImapChannel(Transport& transport, int timeoutMs, EventLog* log);

  // Sends "TAG text" and reads to its completion, all within one reply
  // limit. Untagged responses go to onUntagged, the numbers of a "* SEARCH"
  // to onSearch; the completion, when one came, to completion.
  ImapStatus Run(const std::string& text, const Untagged& onUntagged = nullptr,
                 ImapResponse* completion = nullptr,
                 const ImapReader::NumberSink* onSearch = nullptr);
  // LOGIN with the user name and password as quoted strings, or where one
  // holds a byte above 0x7F as a literal: sent after the server's "+", or at
  // once with literalPlus (RFC 7888). Text with CR, LF or NUL is never sent.
  ImapStatus Login(const std::string& user, const std::string& password, bool literalPlus,
                   const Untagged& onUntagged, ImapResponse* completion);
  // AUTHENTICATE XOAUTH2 with payload: in the command with saslIr
  // (RFC 4959), else after the server's "+". The log shows neither.
  ImapStatus Authenticate(const std::string& payload, bool saslIr, const Untagged& onUntagged,
                          ImapResponse* completion);
  // Sends "TAG IDLE" and reads to the server's "+": kOk once idling, else
  // how IDLE was completed instead.
  ImapStatus StartIdle();
  // Sends DONE and reads to the completion of IDLE.
  ImapStatus EndIdle();
  // Sends the last words without waiting for any answer: DONE when idling,
  // then LOGOUT.
  bool SendGoodbye(bool idling, int timeoutMs);

  // Reads one response that the server sent unasked, within a reply limit.
  bool ReadUnasked(ImapResponse& response);
  // Waits as ImapReader::Wait does.
  int Wait(int timeoutMs) { return m_reader.Wait(timeoutMs); }
  // Whatever was received and not read is dropped: before a TLS handshake.
  void Discard() { m_reader.Discard(); }

  // True once the server has told of a change since the last call.
  bool TakeChange();
  // True once the server has said BYE.
  bool SaidBye() const { return m_bBye; }

 private:
  std::string NextTag();
  bool Send(const std::string& bytes, const std::string& logged);
  // Reads to the completion of the command tagged m_strTag; a "+" ends the
  // read too when continuation is given, and sets it.
  ImapStatus ReadCompletion(const Deadline& deadline, const Untagged& onUntagged,
                            ImapResponse* completion, const ImapReader::NumberSink* onSearch,
                            bool* continuation = nullptr);
  void Notice(const ImapResponse& response);

  Transport& m_transport;
  int m_timeoutMs;
  EventLog* m_pLog;
  ImapReader m_reader;
  unsigned m_nTag = 0;
  std::string m_strTag;
  bool m_bChanged = false;
  bool m_bBye = false;
};
