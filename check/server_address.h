#pragma once

#include <cstdint>
#include <string>

// How the connection to the server is protected.
enum class ServerSecurity {
  kPlain,     // plain text
  kTls,       // TLS from the first byte
  kStartTls,  // plain text until STLS or STARTTLS, then TLS before anything of the user's is sent
};

// What the server speaks.
enum class ServerProtocol { kPop3, kImap };

// Where and how to reach the mail server named in the settings.
struct ServerAddress {
  std::string host;  // a name or a literal address, IPv6 without brackets
  uint16_t port = 0;
  ServerSecurity security = ServerSecurity::kPlain;
  ServerProtocol protocol = ServerProtocol::kPop3;
};

// Reads the server text: "host", "host:port", "[v6]:port", a bare IPv6
// address (all POP3), or "scheme://host[:port]" with pop3, pop3s,
// pop3+starttls, imap, imaps or imap+starttls (any case). False when the
// text names no usable server.
bool ParseServerAddress(const std::string& text, ServerAddress& address);

// Whether the protocol the server text names can carry this user name and
// password at all; true for text that names no server, which the check
// reports itself. Every scheme so far is POP3's, which sends each on a
// command line of its own: no CR, LF or NUL, at most 255 bytes.
bool LoginSendable(const std::string& serverText, const std::string& user,
                   const std::string& password);
