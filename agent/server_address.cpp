#include "agent/server_address.h"

#include <cctype>

namespace {

constexpr uint16_t kPlainPort = 110;
constexpr uint16_t kTlsPort = 995;

bool EqualsIgnoringCase(const std::string& text, const char* lower) {
  size_t i = 0;
  for (; i < text.size() && lower[i]; ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) != lower[i]) return false;
  return i == text.size() && !lower[i];
}

bool ParseScheme(const std::string& scheme, ServerAddress& address) {
  if (EqualsIgnoringCase(scheme, "pop3")) {
    address.security = ServerSecurity::kPlain;
  } else if (EqualsIgnoringCase(scheme, "pop3s")) {
    address.security = ServerSecurity::kTls;
  } else if (EqualsIgnoringCase(scheme, "pop3+starttls")) {
    address.security = ServerSecurity::kStartTls;
  } else {
    return false;
  }
  return true;
}

bool ParsePort(const std::string& text, uint16_t& port) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
  unsigned long value = 0;
  for (char digit : text) {
    value = value * 10 + static_cast<unsigned long>(digit - '0');
    if (value > 65535) return false;
  }
  if (value == 0) return false;
  port = static_cast<uint16_t>(value);
  return true;
}

// A name goes to the resolver as it is; only what could never be part of one
// (or would make the resolver read it as something else) is refused here.
bool PlausibleName(const std::string& host) {
  if (host.empty()) return false;
  for (char c : host) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte <= ' ' || byte == 0x7F) return false;
    if (std::string("/\\?#@[]:%").find(c) != std::string::npos) return false;
  }
  return true;
}

// The resolver decides whether it is a valid address; this only keeps names
// and stray text out of the brackets. A zone ("%eth0") may follow.
bool PlausibleIpv6(const std::string& host) {
  const size_t zone = host.find('%');
  const std::string address = host.substr(0, zone);
  if (address.find(':') == std::string::npos ||
      address.find_first_not_of("0123456789abcdefABCDEF:.") != std::string::npos)
    return false;
  if (zone == std::string::npos) return true;
  const std::string name = host.substr(zone + 1);
  if (name.empty()) return false;
  for (char c : name)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_' && c != '.')
      return false;
  return true;
}

bool ParseAuthority(const std::string& text, bool schemeGiven, ServerAddress& address) {
  std::string portText;
  bool portGiven = false;
  if (!text.empty() && text[0] == '[') {
    const size_t close = text.find(']');
    if (close == std::string::npos) return false;
    address.host = text.substr(1, close - 1);
    if (!PlausibleIpv6(address.host)) return false;
    const std::string rest = text.substr(close + 1);
    if (!rest.empty()) {
      if (rest[0] != ':') return false;
      portText = rest.substr(1);
      portGiven = true;
    }
  } else {
    const size_t first = text.find(':');
    if (first != std::string::npos && text.find(':', first + 1) != std::string::npos) {
      // Without brackets a port cannot be told from the address's last group.
      if (schemeGiven || !PlausibleIpv6(text)) return false;
      address.host = text;
    } else if (first != std::string::npos) {
      address.host = text.substr(0, first);
      portText = text.substr(first + 1);
      portGiven = true;
    } else {
      address.host = text;
    }
    if (address.host.find(':') == std::string::npos && !PlausibleName(address.host)) return false;
  }
  if (portGiven) return ParsePort(portText, address.port);
  address.port = address.security == ServerSecurity::kTls ? kTlsPort : kPlainPort;
  return true;
}

}  // namespace

bool ParseServerAddress(const std::string& text, ServerAddress& address) {
  const size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string::npos) return false;
  std::string rest = text.substr(begin, text.find_last_not_of(" \t") + 1 - begin);
  ServerAddress parsed;
  const size_t separator = rest.find("://");
  const bool schemeGiven = separator != std::string::npos;
  if (schemeGiven) {
    if (!ParseScheme(rest.substr(0, separator), parsed)) return false;
    rest.erase(0, separator + 3);
    // A URL copied from elsewhere may end with the root path.
    if (!rest.empty() && rest.back() == '/') rest.pop_back();
  }
  if (!ParseAuthority(rest, schemeGiven, parsed)) return false;
  address = parsed;
  return true;
}
