#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct SignInSecrets;

// The settings keys the sign-in reads.
extern const char kMicrosoftClientIdKey[];
extern const char kMicrosoftAuthorityKey[];
extern const char kMicrosoftHostsKey[];

// What the token grants: POP3 and IMAP, renewal, and the account's name.
extern const char kMicrosoftScopes[];
// Microsoft's authority for work, school and personal accounts alike.
extern const char kMicrosoftAuthority[];

// The application id: the setting when set, else the one the build was
// given; empty when neither has one.
std::string MicrosoftClientId(const std::string& setting);

// Where and as which application this copy signs in with Microsoft.
struct MicrosoftSetup {
  std::string clientId;  // empty: this copy has no application id
  std::string authority;
  std::vector<std::string> hosts;
};

// The setup the three settings ask for, as the functions below rule.
MicrosoftSetup MicrosoftSetupFrom(const std::string& clientIdSetting,
                                  const std::string& authoritySetting,
                                  const std::string& hostsSetting);

// Whether this build honours MicrosoftAuthority= and MicrosoftHosts=: only
// one built for tests does.
bool TestEndpointsHonoured();

// The authority whose /authorize and /token are used.
std::string MicrosoftAuthority(const std::string& setting);
std::string AuthorizeEndpoint(const std::string& authority);
std::string TokenEndpoint(const std::string& authority);

// The hosts a token may go to: Microsoft's mail hosts (an entry starting
// with "." stands for every name under it), or in a test build the
// setting's names, separated by spaces or commas.
std::vector<std::string> MicrosoftHosts(const std::string& setting);

// Whether the server text names one of hosts, case-insensitively, over TLS
// (pop3s, pop3+starttls and their IMAP kin). Nothing of a token goes
// anywhere else.
bool TokenMayGoTo(const std::string& server, const std::vector<std::string>& hosts);

// The loopback redirect of RFC 8252 section 7.3, the same in both requests.
std::string RedirectUri(uint16_t port);

// The authorization request (RFC 6749 section 4.1.1 with RFC 7636's S256).
std::string AuthorizeUrl(const std::string& authority, const std::string& clientId,
                         const std::string& redirectUri, const std::string& loginHint,
                         const SignInSecrets& secrets);

// text percent-encoded for a URL's query or a form (RFC 3986 unreserved kept).
std::string FormValue(const std::string& text);
