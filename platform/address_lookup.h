#pragma once

#include <atomic>
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
// prefers, into out; false when there is none, or when the lookup took longer
// than timeoutMs or aborted was set.
bool LookUpAddresses(const std::string& host, uint16_t port, int timeoutMs,
                     const std::atomic<bool>& aborted, std::vector<SocketAddress>& out);

// The address in its numeric form, for the log.
std::string AddressText(const SocketAddress& address);

// "tried A, B; connected to B" for the addresses begun and the winner, if any.
std::string AttemptsNote(const std::vector<std::string>& tried, const std::string& connected);
