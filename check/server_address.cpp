#include "check/server_address.h"

#include <cctype>

#include "check/pop3/pop3_channel.h"

namespace {

struct Scheme {
  const char* name;
  ServerProtocol protocol;
  ServerSecurity security;
  uint16_t port;  // when the text gives none
};

constexpr Scheme kSchemes[] = {
    {"pop3", ServerProtocol::kPop3, ServerSecurity::kPlain, 110},
    {"pop3s", ServerProtocol::kPop3, ServerSecurity::kTls, 995},
    {"pop3+starttls", ServerProtocol::kPop3, ServerSecurity::kStartTls, 110},
    {"imap", ServerProtocol::kImap, ServerSecurity::kPlain, 143},
    {"imaps", ServerProtocol::kImap, ServerSecurity::kTls, 993},
    {"imap+starttls", ServerProtocol::kImap, ServerSecurity::kStartTls, 143},
};

bool EqualsIgnoringCase(const std::string& text, const char* lower) {
  size_t i = 0;
  for (; i < text.size() && lower[i]; ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) != lower[i]) return false;
  return i == text.size() && !lower[i];
}

// Text without a scheme is plain POP3.
const Scheme* FindScheme(const std::string& name) {
  for (const Scheme& scheme : kSchemes)
    if (EqualsIgnoringCase(name, scheme.name)) return &scheme;
  return nullptr;
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

bool AllDigits(const std::string& text, const char* digits) {
  return !text.empty() && text.find_first_not_of(digits) == std::string::npos;
}

// A label the resolver would read as a number: decimal, octal, or "0x" hex.
bool NumericLabel(const std::string& label) {
  if (label.size() > 1 && label[0] == '0' && (label[1] == 'x' || label[1] == 'X'))
    return label.size() == 2 || AllDigits(label.substr(2), "0123456789abcdefABCDEF");
  return AllDigits(label, "0123456789");
}

// An address the resolver takes for IPv4 must be the four dotted decimals
// people read it as: it also takes "2130706433", "127.1" and "0x7f.0.0.1", and
// reads "010" as octal. 0.0.0.0 is no server at all.
bool PlainIpv4(const std::string& host) {
  size_t begin = 0;
  int parts = 0;
  bool allZero = true;
  for (;;) {
    const size_t end = host.find('.', begin);
    const std::string part = host.substr(begin, end == std::string::npos ? end : end - begin);
    if (!AllDigits(part, "0123456789") || part.size() > 3 || (part.size() > 1 && part[0] == '0') ||
        (part.size() == 3 && part > "255") || ++parts > 4)
      return false;
    allZero = allZero && part == "0";
    if (end == std::string::npos) return parts == 4 && !allZero;
    begin = end + 1;
  }
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
  if (host.back() == '.') return false;
  const size_t lastDot = host.rfind('.');
  return !NumericLabel(host.substr(lastDot == std::string::npos ? 0 : lastDot + 1)) ||
         PlainIpv4(host);
}

// The resolver decides whether it is a valid address; this only keeps names
// and stray text out of the brackets. A zone ("%eth0", "%25eth0") is refused:
// which interface it names cannot be checked here. So is "::", no server at all.
bool PlausibleIpv6(const std::string& host) {
  return host.find(':') != std::string::npos && host.back() != '.' &&
         host.find_first_not_of("0123456789abcdefABCDEF:.") == std::string::npos &&
         host.find_first_not_of("0:.") != std::string::npos;
}

bool ParseAuthority(const std::string& text, bool schemeGiven, uint16_t defaultPort,
                    ServerAddress& address) {
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
    if (address.host.find(':') == std::string::npos) {
      // A fully qualified name ("mail.example.com.") is the same server; the
      // certificate names it without the root's dot.
      if (!address.host.empty() && address.host.back() == '.') address.host.pop_back();
      if (!PlausibleName(address.host)) return false;
    }
  }
  if (portGiven) return ParsePort(portText, address.port);
  address.port = defaultPort;
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
  const Scheme* scheme = &kSchemes[0];
  if (schemeGiven) {
    scheme = FindScheme(rest.substr(0, separator));
    if (!scheme) return false;
    rest.erase(0, separator + 3);
    // A URL copied from elsewhere may end with the root path.
    if (!rest.empty() && rest.back() == '/') rest.pop_back();
  }
  parsed.protocol = scheme->protocol;
  parsed.security = scheme->security;
  if (!ParseAuthority(rest, schemeGiven, scheme->port, parsed)) return false;
  address = parsed;
  return true;
}

bool LoginSendable(const std::string& serverText, const std::string& user,
                   const std::string& password) {
  ServerAddress address;
  if (!ParseServerAddress(serverText, address)) return true;
  // IMAP sends any length, as a literal where need be.
  if (address.protocol == ServerProtocol::kImap)
    return (user + password).find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
  return Pop3Channel::Sendable("USER " + user) && Pop3Channel::Sendable("PASS " + password);
}
