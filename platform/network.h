#pragma once

#include <memory>

#include "platform/transport.h"

// Connections to mail servers.
class Network {
 public:
  virtual ~Network() = default;
  // Starts the sockets layer for the program's whole life.
  virtual bool Start() = 0;
  // A new, unconnected transport, or null when none can be made. May be
  // used from any thread.
  virtual std::unique_ptr<Transport> NewTransport() = 0;
};
