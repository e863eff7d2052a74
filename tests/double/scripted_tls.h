#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/transport.h"
#include "tests/double/memory_transport.h"

// Records as the scripted security provider frames them: a type letter, the
// payload's length in four hex digits, the payload. From the server:
//   'H' a handshake message: "continue" (answered by the client), "done",
//       "credentials" (asks for a client certificate once), "credentials always"
//   'T' a message after the handshake: "ticket", "hello request" (a TLS 1.2
//       renegotiation, which the provider takes in and answers from no
//       input), or "untrusted" (the server now presents a certificate that
//       does not verify)
//   'D' data, 'C' close_notify
std::string Record(char type, const std::string& payload);

// A transport over an in-memory wire whose TLS is the real stream with a
// security provider that answers as Windows' Schannel does, in its order:
// SEC_I_RENEGOTIATE for a message after the handshake, handing a TLS 1.3
// one back as extra input; SEC_E_INCOMPLETE_MESSAGE for any part of a record; extra input
// after a handshake message or record; SEC_I_CONTEXT_EXPIRED for close_notify.
// The wire plays chunks as a MemoryServer does; what is not yet due times out
// at once, and after the last chunk the server closes.
std::unique_ptr<Transport> ScriptedTlsTransport(std::vector<MemoryServer::Chunk> wire,
                                                bool byteAtATime,
                                                std::vector<std::string>& commands);
