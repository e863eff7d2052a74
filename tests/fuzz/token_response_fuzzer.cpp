// libFuzzer target: a token endpoint's answer body. The reader keeps within
// its bound, a grant always has its access token, a refusal its error, and
// the id_token's name is read from whatever the claims hold.
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

#include "check/signin/json_reader.h"
#include "check/signin/token_endpoint.h"
#include "platform/web.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string body(reinterpret_cast<const char*>(data), size);
  std::map<std::string, std::string> members;
  const bool read = ReadJsonObject(body, members);
  if ((!read && !members.empty()) || (read && size > kMaxJsonText)) std::abort();
  const TokenGrant grant = ReadTokenResponse({WebResult::kAnswered, 200, body});
  if (grant.status == TokenStatus::kGranted && grant.accessToken.empty()) std::abort();
  if (grant.status == TokenStatus::kGranted && grant.accessToken != members["access_token"])
    std::abort();
  if ((grant.status == TokenStatus::kRefused || grant.status == TokenStatus::kSignInNeeded) &&
      grant.error.empty())
    std::abort();
  IdTokenAccount(body);
  return 0;
}
