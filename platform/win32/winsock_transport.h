#pragma once

#include <memory>

#include "platform/transport.h"

// The byte transport over Windows Sockets 2, with TLS from Schannel.
std::unique_ptr<Transport> CreateWinsockTransport();

// Starts the sockets layer for the program's whole life (version 2.2).
bool StartWinsock();
