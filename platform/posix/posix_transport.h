#pragma once

#include <memory>

#include "platform/transport.h"

// The byte transport over POSIX sockets, for the native build.
std::unique_ptr<Transport> CreatePosixTransport();
