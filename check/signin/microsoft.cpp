#include "check/signin/microsoft.h"

#include <algorithm>
#include <cctype>

#include "check/server_address.h"
#include "check/signin/pkce.h"

#ifndef TARVIK_MICROSOFT_CLIENT_ID
#define TARVIK_MICROSOFT_CLIENT_ID ""
#endif

const char kMicrosoftClientIdKey[] = "MicrosoftClientId";
const char kMicrosoftAuthorityKey[] = "MicrosoftAuthority";
const char kMicrosoftHostsKey[] = "MicrosoftHosts";
const char kMicrosoftScopes[] =
    "https://outlook.office.com/POP.AccessAsUser.All "
    "https://outlook.office.com/IMAP.AccessAsUser.All offline_access openid profile";
const char kMicrosoftAuthority[] = "https://login.microsoftonline.com/common/oauth2/v2.0";

namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool HostMatches(const std::string& host, const std::string& entry) {
  if (entry.empty() || entry[0] != '.') return host == entry;
  return host == entry.substr(1) ||
         (host.size() > entry.size() &&
          host.compare(host.size() - entry.size(), entry.size(), entry) == 0);
}

}  // namespace

std::string MicrosoftClientId(const std::string& setting) {
  return setting.empty() ? std::string(TARVIK_MICROSOFT_CLIENT_ID) : setting;
}

MicrosoftSetup MicrosoftSetupFrom(const std::string& clientIdSetting,
                                  const std::string& authoritySetting,
                                  const std::string& hostsSetting) {
  return {MicrosoftClientId(clientIdSetting), MicrosoftAuthority(authoritySetting),
          MicrosoftHosts(hostsSetting)};
}

bool TestEndpointsHonoured() {
#ifdef TARVIK_TEST_AUTHORITY
  return true;
#else
  return false;
#endif
}

std::string MicrosoftAuthority(const std::string& setting) {
  if (!TestEndpointsHonoured() || setting.empty()) return kMicrosoftAuthority;
  return setting.back() == '/' ? setting.substr(0, setting.size() - 1) : setting;
}

std::string AuthorizeEndpoint(const std::string& authority) { return authority + "/authorize"; }

std::string TokenEndpoint(const std::string& authority) { return authority + "/token"; }

std::vector<std::string> MicrosoftHosts(const std::string& setting) {
  if (!TestEndpointsHonoured() || setting.empty())
    return {"outlook.office365.com", "outlook.office.com", ".outlook.com"};
  std::vector<std::string> hosts;
  const std::string separators = " ,";
  for (size_t start = setting.find_first_not_of(separators); start != std::string::npos;) {
    const size_t end = setting.find_first_of(separators, start);
    hosts.push_back(Lower(setting.substr(start, end - start)));
    start = setting.find_first_not_of(separators, end);
  }
  return hosts;
}

bool TokenMayGoTo(const std::string& server, const std::vector<std::string>& hosts) {
  ServerAddress address;
  if (!ParseServerAddress(server, address) || address.security == ServerSecurity::kPlain)
    return false;
  std::string host = Lower(address.host);
  // "name." is the same host as "name", and must not slip past the rule.
  if (!host.empty() && host.back() == '.') host.pop_back();
  return std::any_of(hosts.begin(), hosts.end(),
                     [&host](const std::string& entry) { return HostMatches(host, entry); });
}

std::string RedirectUri(uint16_t port) { return "http://127.0.0.1:" + std::to_string(port) + "/"; }

std::string FormValue(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  for (const char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) || c == '-' || c == '.' || c == '_' || c == '~') {
      encoded += c;
    } else {
      encoded += '%';
      encoded += kHex[byte >> 4];
      encoded += kHex[byte & 0x0F];
    }
  }
  return encoded;
}

std::string AuthorizeUrl(const std::string& authority, const std::string& clientId,
                         const std::string& redirectUri, const std::string& loginHint,
                         const SignInSecrets& secrets) {
  return AuthorizeEndpoint(authority) + "?client_id=" + FormValue(clientId) +
         "&response_type=code&redirect_uri=" + FormValue(redirectUri) +
         "&response_mode=query&scope=" + FormValue(kMicrosoftScopes) +
         "&login_hint=" + FormValue(loginHint) + "&state=" + FormValue(secrets.state) +
         "&code_challenge=" + FormValue(secrets.challenge) + "&code_challenge_method=S256";
}
