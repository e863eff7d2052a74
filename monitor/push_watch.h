#pragma once

#include <functional>
#include <mutex>

#include "check/imap/imap_session.h"

// What the user interface asks of an account whose connection is held.
enum class PushRequest { kNone, kRecount, kReconnect };

// Holds an IMAP account's connection while its server can push: after each
// count the session waits in IDLE, and a change the server tells of, a
// recount asked for (a double click, /check, the interval as a safety net)
// or a reconnect asked for (a resume) brings a count again. A connection
// that ends is opened again at once, once; only when that fails does the
// watch end with its failure. Without IDLE, or with push off, it is one
// polled check.
class PushWatch {
 public:
  // tell hands an outcome to the user interface; last says the watch ends.
  using Tell = std::function<void(const CheckOutcome& outcome, bool last)>;
  // open connects and logs in the session, with a token renewed where one is refused.
  using Open = std::function<CheckOutcome()>;

  PushWatch(ImapSession& session, bool push, Open open, Tell tell)
      : m_session(session), m_bPush(push), m_open(std::move(open)), m_tell(std::move(tell)) {}

  // Runs on the check's thread until the watch ends or is stopped.
  void Run();
  // From any thread.
  void Ask(PushRequest request);
  void Stop() { m_session.Stop(); }

 private:
  PushRequest TakeRequest();

  ImapSession& m_session;
  const bool m_bPush;
  const Open m_open;
  const Tell m_tell;
  std::mutex m_mutex;
  PushRequest m_request = PushRequest::kNone;
};
