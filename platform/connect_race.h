#pragma once

#include <atomic>
#include <cstddef>

#include "platform/deadline.h"
#include "platform/transport.h"

// The connection attempts of one socket transport, one per address of the
// server, each on a non-blocking socket of its own.
class ConnectAttempts {
 public:
  // Opens a socket for address index and starts connecting it; false when no
  // socket could be made for it.
  virtual bool Begin(size_t index) = 0;
  // Waits up to timeoutMs, or until the transport is aborted, for an attempt
  // begun and not yet dropped to end: true with its index, and whether it
  // connected, when one did.
  virtual bool WaitForOne(int timeoutMs, size_t& index, bool& connected) = 0;
  // Closes the attempt's socket.
  virtual void Drop(size_t index) = 0;

 protected:
  ~ConnectAttempts() = default;
};

// How long an attempt that has not answered holds up the next (RFC 8305).
constexpr int kAttemptDelayMs = 250;

// Connects to one of count addresses within the one limit of deadline, in
// the manner of RFC 8305: the next address is tried when the last has failed
// or has not answered within kAttemptDelayMs, the first to connect is kept
// in winner and every other attempt dropped.
ConnectResult RaceConnects(ConnectAttempts& attempts, size_t count, const Deadline& deadline,
                           const std::atomic<bool>& aborted, size_t& winner);
