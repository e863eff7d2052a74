#include "platform/address_lookup.h"

#include <cstring>

#include "platform/bounded_call.h"

namespace {

std::vector<SocketAddress> Found(const std::string& host, uint16_t port, int flags) {
  addrinfo hints{};
  hints.ai_flags = flags;
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* found = nullptr;
  std::vector<SocketAddress> addresses;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0)
    return addresses;
  for (const addrinfo* entry = found; entry; entry = entry->ai_next) {
    if (entry->ai_addrlen > sizeof(sockaddr_storage)) continue;
    SocketAddress address{};
    std::memcpy(&address.storage, entry->ai_addr, entry->ai_addrlen);
    address.length = static_cast<int>(entry->ai_addrlen);
    addresses.push_back(address);
  }
  freeaddrinfo(found);
  return addresses;
}

}  // namespace

// A literal address is taken at once: starting a thread for it would cost
// more than the whole lookup.
bool LookUpAddresses(const std::string& host, uint16_t port, int timeoutMs,
                     const std::atomic<bool>& aborted, std::vector<SocketAddress>& out) {
  out = Found(host, port, AI_NUMERICHOST);
  if (!out.empty()) return true;
  return RunBounded([host, port] { return Found(host, port, 0); }, timeoutMs, aborted, out) &&
         !out.empty();
}

std::string AddressText(const SocketAddress& address) {
  char text[NI_MAXHOST] = {};
  if (getnameinfo(reinterpret_cast<const sockaddr*>(&address.storage),
                  static_cast<socklen_t>(address.length), text, sizeof text, nullptr, 0,
                  NI_NUMERICHOST) != 0)
    return "?";
  return text;
}

std::string AttemptsNote(const std::vector<std::string>& tried, const std::string& connected) {
  std::string note;
  for (const std::string& address : tried) note += (note.empty() ? "tried " : ", ") + address;
  if (!connected.empty()) note += "; connected to " + connected;
  return note;
}
