#pragma once

#include <cstdint>
#include <string>

// A byte stream to one server. Each step mirrors one socket call, so that the
// conversation can tell exactly which step failed. An encrypted stream can
// later wrap a plain one behind this same interface.
class Transport {
 public:
  virtual ~Transport() = default;

  // Starts the sockets layer for this connection (version 1.1).
  virtual bool Startup() = 0;
  // Creates the TCP stream socket.
  virtual bool OpenSocket() = 0;
  // Looks up the host's address by name or dotted address.
  virtual bool Resolve(const std::string& host) = 0;
  // Connects to the resolved address, giving up after timeoutMs.
  virtual bool Connect(uint16_t port, int timeoutMs) = 0;
  // Sends all of bytes, or fails (also after timeoutMs without progress).
  virtual bool Send(const std::string& bytes, int timeoutMs) = 0;
  // Waits up to timeoutMs for bytes: the count received, 0 when the peer has
  // closed, -1 on an error or when the time ran out. timeoutMs 0 only polls.
  virtual int Receive(char* buffer, int capacity, int timeoutMs) = 0;
  // Closes the socket; safe to call when none is open.
  virtual bool CloseSocket() = 0;
  // Releases what Startup took.
  virtual bool Cleanup() = 0;
};
