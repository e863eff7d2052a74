#pragma once

#include <memory>

#include "platform/transport.h"

// The byte transport over Windows Sockets 1.1.
std::unique_ptr<Transport> CreateWinsockTransport();

// Starts the sockets layer for the program's whole life (version 1.1).
bool StartWinsock();
