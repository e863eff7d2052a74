#pragma once

#include <mutex>
#include <optional>

#include "check/account.h"
#include "check/connection.h"
#include "check/imap/imap_channel.h"
#include "check/imap/imap_login.h"
#include "check/outcome.h"
#include "check/seen_mail.h"
#include "platform/transport.h"

class EventLog;

// The time limits of an IMAP session.
struct ImapTimes {
  // Reaching the server (lookup, connects and handshake together), and each reply.
  int replyMs = kNetworkTimeoutMs;
  // How long one IDLE lasts before it is renewed with DONE, NOOP, IDLE: well
  // within RFC 2177's 29 minutes, which home routers and some servers cut.
  int renewalMs = 10 * 60 * 1000;
};

// How a wait in IDLE ended.
enum class IdleEnd {
  kChanged,  // the server told of mail added, expunged or changed: recount
  kAsked,    // Interrupt asked for a recount
  kTimeUp,   // the wait's own limit passed
  kRefused,  // the server refused IDLE: poll it instead; the connection is still held
  kEnded,    // the connection ended (BYE, closed, a renewal unanswered): reconnect at once
  kStopped,  // Stop: DONE and LOGOUT were sent and the connection closed
};

// An IMAP connection to one account, logged in with INBOX examined, that
// counts on demand and waits in IDLE (RFC 2177) for the server to tell of a
// change. One thread drives it; Interrupt and Stop may come from any other,
// and never use the connection themselves: they wake the driving thread.
// Outside IDLE the server's news of a change that comes with another
// command's answer is kept for the next Idle.
class ImapSession {
 public:
  ImapSession(Transport& transport, MailAccount account, NewMailBasis basis,
              EventLog* log = nullptr, ImapTimes times = ImapTimes());
  ImapSession(const ImapSession&) = delete;
  ImapSession& operator=(const ImapSession&) = delete;

  // Connects, logs in and counts as one check does; a connection held
  // before is dropped first. With a count the connection is held, otherwise
  // it is closed. kEnded once stopped: nothing is to be presented.
  CheckOutcome Open();
  // The access token the next Open sends, for an account that signs in with one.
  void UseAccessToken(std::string token) { m_account.accessToken = std::move(token); }
  // True while a connection is held.
  bool Held();
  // True while held with a server that listed IDLE after log-in.
  bool CanIdle();
  // Counts again on the held connection (EXAMINE, the count, new mail and
  // its headers), new mail being that since the last count. A failure drops
  // the connection; kEnded once stopped.
  CheckOutcome Recount();
  // Enters IDLE and waits, in one receive however long, for up to
  // maxWaitMs; out of IDLE again (DONE answered) unless the connection
  // ended or was stopped.
  IdleEnd Idle(int maxWaitMs);
  // Ends a polled check: LOGOUT without waiting for its answer, then the
  // connection is closed.
  void LogOut();

  // From any thread: the driving thread's Idle ends with kAsked, at once or
  // when it next begins.
  void Interrupt();
  // From any thread, returning at once: the driving thread sends DONE (when
  // idling) and LOGOUT without waiting for any answer and closes the
  // connection; a connection not yet logged in is cut. Every call after
  // it returns at once.
  void Stop();

 private:
  enum class Wake { kChange, kAsked, kTimeUp, kRenew, kEnded, kStop };

  CheckOutcome Count();
  // A step's outcome; a failure drops the connection.
  CheckOutcome Finish(CheckOutcome told);
  Wake WaitIdling(const Deadline& limit);
  IdleEnd LeaveIdle(Wake wake);
  IdleEnd Stopped(bool idling);
  IdleEnd Ended();
  void Drop();
  bool StopAsked();
  bool TakeAsked();

  Transport& m_transport;
  MailAccount m_account;
  NewMailBasis m_basis;
  EventLog* m_pLog;
  const ImapTimes m_times;
  std::optional<Connection> m_connection;
  std::optional<ImapChannel> m_channel;
  ImapCapabilities m_capabilities;

  // Shared with the threads that interrupt or stop.
  std::mutex m_mutex;
  bool m_bHeld = false;
  bool m_bWaiting = false;
  bool m_bAsked = false;
  bool m_bStop = false;
};

// One polled check: Open, then LOGOUT.
CheckOutcome RunImapCheck(Transport& transport, const MailAccount& account, int timeoutMs,
                          const NewMailBasis& basis = NewMailBasis(), EventLog* log = nullptr);
