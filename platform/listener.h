#pragma once

#include <cstdint>
#include <memory>
#include <string>

// One connection accepted on a loopback port.
class LoopbackConnection {
 public:
  virtual ~LoopbackConnection() = default;

  // Waits up to timeoutMs for bytes: the count received, 0 when the peer has
  // closed, -1 on an error, when the time ran out or the port was aborted.
  virtual int Receive(char* buffer, int capacity, int timeoutMs) = 0;
  // Sends all of bytes, or fails (also after timeoutMs without progress).
  virtual bool Send(const std::string& bytes, int timeoutMs) = 0;
};

// A port listening on 127.0.0.1. Connections it accepted may be used from
// other threads than the one accepting, each by one thread at a time.
class LoopbackPort {
 public:
  virtual ~LoopbackPort() = default;

  // The port number the system gave.
  virtual uint16_t Port() const = 0;
  // Waits up to timeoutMs for the next connection; null when none came in
  // time, on an error, or once aborted.
  virtual std::unique_ptr<LoopbackConnection> Accept(int timeoutMs) = 0;
  // Ends at once, from any thread, every wait of this port and of every
  // connection it accepted, and every later one.
  virtual void Abort() = 0;
};

// Listening sockets for a browser's redirect back to the program.
class Listener {
 public:
  virtual ~Listener() = default;

  // Listens on 127.0.0.1 on a port the system picks, for several connections
  // at once; null when it cannot.
  virtual std::unique_ptr<LoopbackPort> Listen() = 0;
};
