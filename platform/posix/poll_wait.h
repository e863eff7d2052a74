#pragma once

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

// Ends every wait of one transport at once, from any thread. It never
// touches a socket, so it cannot meet one that was just closed and reused.
class AbortSignal {
 public:
  AbortSignal() {
    if (pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0) m_pipe[0] = m_pipe[1] = -1;
  }
  ~AbortSignal() {
    for (int end : m_pipe)
      if (end >= 0) close(end);
  }
  AbortSignal(const AbortSignal&) = delete;
  AbortSignal& operator=(const AbortSignal&) = delete;

  bool Ready() const { return m_pipe[0] >= 0; }
  void Raise() {
    m_bRaised = true;
    // The byte is read only by Lower: the pipe stays readable for every later wait.
    if (m_pipe[1] >= 0 && write(m_pipe[1], "!", 1) < 0) return;
  }
  // Lets waits wait again; not at the same time as Raise.
  void Lower() {
    m_bRaised = false;
    char bytes[16];
    while (m_pipe[0] >= 0 && read(m_pipe[0], bytes, sizeof bytes) > 0) {
    }
  }
  const std::atomic<bool>& Raised() const { return m_bRaised; }
  // Readable once raised.
  int Descriptor() const { return m_pipe[0]; }

 private:
  int m_pipe[2];
  std::atomic<bool> m_bRaised{false};
};

// Waits until the socket is ready for events; false when the time ran out,
// the wait failed, or the transport was aborted or (where given) its
// receiving interrupted. timeoutMs 0 only looks.
inline bool WaitFor(int socket, short events, int timeoutMs, const AbortSignal& abort,
                    const AbortSignal* interrupt = nullptr) {
  if (abort.Raised() || (interrupt && interrupt->Raised())) return false;
  // poll passes over an entry whose descriptor is negative.
  pollfd entries[3] = {{socket, events, 0},
                       {abort.Descriptor(), POLLIN, 0},
                       {interrupt ? interrupt->Descriptor() : -1, POLLIN, 0}};
  int ready;
  do {
    ready = poll(entries, 3, timeoutMs);
  } while (ready < 0 && errno == EINTR);
  return ready > 0 && entries[1].revents == 0 && entries[2].revents == 0 &&
         entries[0].revents != 0;
}
