#pragma once

#include <string>

class Web;
struct WebResponse;

// How a request to the token endpoint ended.
enum class TokenStatus {
  kGranted,       // an access token came
  kSignInNeeded,  // invalid_grant: revoked, expired, unused too long, password changed
  kRefused,       // another OAuth error (RFC 6749 section 5.2)
  kFailed,        // no answer, or one that is not a token response: may pass on its own
};

// What the token endpoint granted or said.
struct TokenGrant {
  TokenStatus status = TokenStatus::kFailed;
  std::string accessToken;
  // With a renewal: the new refresh token, or the one renewed when none
  // came; it must be stored in place of the old one.
  std::string refreshToken;
  int expiresInSeconds = 0;
  // The account that signed in: the id_token's preferred_username, read but
  // not verified, as it is only shown.
  std::string account;
  // With a refusal: the error code and its description, for the log.
  std::string error;
};

// Redeems the code of the redirect (RFC 6749 section 4.1.3, with the PKCE
// verifier of RFC 7636 section 4.5).
TokenGrant RedeemCode(Web& web, const std::string& tokenEndpoint, const std::string& clientId,
                      const std::string& code, const std::string& redirectUri,
                      const std::string& verifier, int timeoutMs);

// Renews the access token with the refresh token (RFC 6749 section 6).
TokenGrant RenewAccess(Web& web, const std::string& tokenEndpoint, const std::string& clientId,
                       const std::string& refreshToken, int timeoutMs);

// What a token endpoint's answer says.
TokenGrant ReadTokenResponse(const WebResponse& response);

// The preferred_username of an id_token's claims; empty when there is none.
std::string IdTokenAccount(const std::string& idToken);
