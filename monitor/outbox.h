#pragma once

#include <deque>
#include <mutex>
#include <vector>

#include "check/outcome.h"
#include "platform/platform.h"

// One outcome of one account's check, handed from the check's thread to the
// user interface.
struct AccountOutcome {
  int account = 0;
  // Which check of the account it comes from.
  int run = 0;
  // The check is over with it; else its conversation waits for it to be shown.
  bool last = false;
  CheckOutcome outcome;
  // Its connection is held after it for the server's news: the account
  // waits, it is not checking.
  bool held = false;
};

// Where the checks' threads leave their outcomes for the user interface. An
// outcome stays until it is taken, so a wake-up the system fails to deliver
// loses nothing: the frame also looks at every tick of its timer.
class Outbox {
 public:
  Outbox(Platform& platform, unsigned message) : m_pPlatform(&platform), m_nMessage(message) {}

  // The window to wake; until it is set, outcomes only wait.
  void WakeWindow(WindowHandle window);

  // Leaves the outcome and wakes the window. May be called from any thread.
  void Put(const AccountOutcome& outcome);
  // Everything left so far, in the order it was left.
  std::vector<AccountOutcome> TakeAll();
  // The window is going: nothing is posted to it any more.
  void Close();

 private:
  std::mutex m_mutex;
  // Null once closed.
  Platform* m_pPlatform;
  WindowHandle m_hWindow = nullptr;
  unsigned m_nMessage;
  std::deque<AccountOutcome> m_waiting;
};
