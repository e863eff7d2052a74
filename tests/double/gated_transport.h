#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "tests/double/memory_transport.h"

// Sessions that play a MemoryServer script, each of whose waiting steps
// (resolving, connecting, sending, and a receive that may wait) stops until
// the test lets it through, so a test can act while a check waits on any step
// without sleeping. Abort releases the step that waits, and every later one,
// as failed, as the socket transports do.
class GatedServer {
 public:
  explicit GatedServer(MemoryServer playing) : script(std::move(playing)) {}

  std::unique_ptr<Transport> NewSession();
  // Waits until a session stops at a step and names it: "resolve",
  // "connect", "receive" or "send " with the command line.
  std::string WaitForStep();
  // Lets the step that waits go on; returns once it has.
  void Release();
  // Lets every step go on until one named step waits.
  void ReleaseUntil(const std::string& step);
  // Waits until every session handed out has been destroyed.
  void WaitUntilSessionsEnd();
  // Whether the latest session was aborted.
  bool Aborted();

  // Read it only while a step waits or once the sessions have ended.
  MemoryServer script;

 private:
  friend class GatedTransport;
  // False when the session was aborted meanwhile.
  bool Pass(const std::string& step, const std::atomic<bool>& aborted);
  void Abort();
  void SessionEnded();

  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::string m_waiting;
  bool m_bReleased = false;
  bool m_bAborted = false;
  int m_nPassed = 0;
  int m_nLive = 0;
};
