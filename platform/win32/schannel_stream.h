#pragma once

#include <memory>

#include "platform/security_provider.h"

// TLS 1.2 and 1.3 from Windows' own Schannel, through SSPI, for one
// connection. The certificate is not left to Schannel: PeerTrusted builds and
// checks the chain, and matches the name or the literal address itself.
std::unique_ptr<SecurityProvider> CreateSchannelProvider();
