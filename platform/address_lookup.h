#pragma once

#include <cstdint>
#include <string>
#include <vector>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

// One address of a server, as the socket calls take it.
struct SocketAddress {
  sockaddr_storage storage;
  int length;
};

// Every TCP address of host for port, IPv6 and IPv4, in the order the system
// prefers; empty when there is none. A literal address needs no lookup. May
// block without a limit of its own.
std::vector<SocketAddress> LookUpAddresses(const std::string& host, uint16_t port);

// The address in its numeric form, for the log.
std::string AddressText(const SocketAddress& address);

// "tried A, B; connected to B" for the addresses begun and the winner, if any.
std::string AttemptsNote(const std::vector<std::string>& tried, const std::string& connected);
