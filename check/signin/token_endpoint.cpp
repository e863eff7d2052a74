#include "check/signin/token_endpoint.h"

#include <cstdlib>
#include <map>

#include "check/signin/base64.h"
#include "check/signin/json_reader.h"
#include "check/signin/microsoft.h"
#include "platform/web.h"

namespace {

const char kFormType[] = "application/x-www-form-urlencoded";

TokenGrant Post(Web& web, const std::string& tokenEndpoint, const std::string& body,
                int timeoutMs) {
  WebRequest request;
  request.url = tokenEndpoint;
  request.contentType = kFormType;
  request.body = body;
  request.timeoutMs = timeoutMs;
  return ReadTokenResponse(web.Send(request));
}

}  // namespace

TokenGrant ReadTokenResponse(const WebResponse& response) {
  TokenGrant grant;
  std::map<std::string, std::string> members;
  if (response.result != WebResult::kAnswered || !ReadJsonObject(response.body, members))
    return grant;
  const std::string& error = members["error"];
  if (response.status == 200 && error.empty() && !members["access_token"].empty()) {
    grant.status = TokenStatus::kGranted;
    grant.accessToken = members["access_token"];
    grant.refreshToken = members["refresh_token"];
    const long expiresIn = std::strtol(members["expires_in"].c_str(), nullptr, 10);
    grant.expiresInSeconds = expiresIn > 0 && expiresIn < 1000000 ? static_cast<int>(expiresIn) : 0;
    grant.account = IdTokenAccount(members["id_token"]);
    return grant;
  }
  if (error.empty()) return grant;
  grant.status = error == "invalid_grant" ? TokenStatus::kSignInNeeded : TokenStatus::kRefused;
  const std::string& description = members["error_description"];
  grant.error = description.empty() ? error : error + ": " + description;
  return grant;
}

std::string IdTokenAccount(const std::string& idToken) {
  const size_t first = idToken.find('.');
  const size_t second = idToken.find('.', first == std::string::npos ? first : first + 1);
  if (second == std::string::npos) return std::string();
  std::string claims;
  std::map<std::string, std::string> members;
  if (!DecodeBase64(idToken.substr(first + 1, second - first - 1), claims) ||
      !ReadJsonObject(claims, members))
    return std::string();
  return members["preferred_username"];
}

TokenGrant RedeemCode(Web& web, const std::string& tokenEndpoint, const std::string& clientId,
                      const std::string& code, const std::string& redirectUri,
                      const std::string& verifier, int timeoutMs) {
  return Post(web, tokenEndpoint,
              "client_id=" + FormValue(clientId) + "&grant_type=authorization_code&code=" +
                  FormValue(code) + "&redirect_uri=" + FormValue(redirectUri) +
                  "&code_verifier=" + FormValue(verifier) +
                  "&scope=" + FormValue(kMicrosoftScopes),
              timeoutMs);
}

TokenGrant RenewAccess(Web& web, const std::string& tokenEndpoint, const std::string& clientId,
                       const std::string& refreshToken, int timeoutMs) {
  TokenGrant grant = Post(web, tokenEndpoint,
                          "client_id=" + FormValue(clientId) +
                              "&grant_type=refresh_token&refresh_token=" +
                              FormValue(refreshToken) + "&scope=" + FormValue(kMicrosoftScopes),
                          timeoutMs);
  if (grant.status == TokenStatus::kGranted && grant.refreshToken.empty())
    grant.refreshToken = refreshToken;
  return grant;
}
