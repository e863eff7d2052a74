#pragma once

#include <memory>
#include <string>

#include "platform/transport.h"

// The byte transport over POSIX sockets, for the native build, with TLS from
// OpenSSL. caFile names the roots a server's certificate must chain to;
// empty means the system's.
std::unique_ptr<Transport> CreatePosixTransport(const std::string& caFile = std::string());
