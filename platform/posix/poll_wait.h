#pragma once

#include <poll.h>

#include <cerrno>

// Waits until the socket is ready for events; false when the time ran out or
// the wait failed. timeoutMs 0 only looks.
inline bool WaitFor(int socket, short events, int timeoutMs) {
  pollfd entry{socket, events, 0};
  int ready;
  do {
    ready = poll(&entry, 1, timeoutMs);
  } while (ready < 0 && errno == EINTR);
  return ready > 0;
}
