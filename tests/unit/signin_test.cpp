#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <set>
#include <thread>

#include "check/signin/base64.h"
#include "check/signin/json_reader.h"
#include "check/signin/microsoft.h"
#include "check/signin/pkce.h"
#include "check/signin/redirect_request.h"
#include "check/signin/sign_in_flow.h"
#include "check/signin/token_endpoint.h"
#include "check/signin/token_store.h"
#include "check/signin/xoauth2.h"
#include "monitor/sign_in_tokens.h"
#include "platform/posix/posix_services.h"
#include "platform/posix/posix_transport.h"
#include "tests/double/fake_browser.h"
#include "tests/double/fake_credentials.h"
#include "tests/double/fake_random.h"
#include "tests/double/fake_web.h"

using namespace std::string_literals;

namespace {

using Members = std::map<std::string, std::string>;

// RFC 7636 Appendix B: the verifier's octets, the verifier and its challenge.
const std::string kRfcOctets = {116, 24,  -33, -76, -105, -103, -32, 37, 79,  -6,  96,
                                125, -40, -83, -69, -70,  22,   -44, 37, 77,  105, -42,
                                -65, -16, 91,  88,  5,    88,   83,   -124, -115, 121};
const char kRfcVerifier[] = "dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk";
const char kRfcChallenge[] = "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM";

TEST(SignIn, PkceMatchesTheRfcVectorAndBase64BothAlphabets) {
  FakeRandom random;
  random.queued = {std::string(32, 'S'), kRfcOctets};
  const auto digest = CreatePosixDigest();
  SignInSecrets secrets;
  ASSERT_TRUE(NewSignInSecrets(random, *digest, secrets));
  EXPECT_EQ(kRfcVerifier, secrets.verifier);
  EXPECT_EQ(kRfcChallenge, secrets.challenge);
  EXPECT_EQ(43u, secrets.state.size());
  random.fails = true;
  EXPECT_FALSE(NewSignInSecrets(random, *digest, secrets));

  // RFC 4648 section 10, and the two characters where the alphabets differ.
  const std::pair<std::string, std::string> vectors[] = {
      {"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},     {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}, {"\xfb\xff", "+/8="}};
  for (const auto& [bytes, text] : vectors) {
    std::string decoded;
    EXPECT_EQ(text, Base64(bytes));
    EXPECT_TRUE(DecodeBase64(text, decoded) && decoded == bytes) << text;
  }
  EXPECT_EQ("-_8", Base64Url("\xfb\xff"));
  for (const char* broken : {"Zg=", "Z", "Zm9v!", "Zm=v"}) {
    std::string decoded;
    EXPECT_FALSE(DecodeBase64(broken, decoded)) << broken;
  }
}

TEST(SignIn, Xoauth2PayloadIsMicrosoftsExampleAndTheLogNeverShowsIt) {
  const std::string payload =
      Xoauth2Payload("test@contoso.onmicrosoft.com", "EwBAAl3BAAUFFpUAo7J3Ve0bjLBWZWCclRC3EoAA");
  EXPECT_EQ(
      "dXNlcj10ZXN0QGNvbnRvc28ub25taWNyb3NvZnQuY29tAWF1dGg9QmVhcmVyIEV3QkFBbDNCQUFVRkZwVUFvN0oz"
      "VmUwYmpMQldaV0NjbFJDM0VvQUEBAQ==",
      payload);
  EXPECT_EQ("A1 AUTHENTICATE XOAUTH2 " + payload, ImapAuthenticateCommand("A1", payload, true));
  EXPECT_EQ("A1 AUTHENTICATE XOAUTH2", ImapAuthenticateCommand("A1", payload, false));
  const struct {
    int continuation;
    bool inCommand;
    bool answers;
    std::string line;
  } steps[] = {{0, false, true, payload}, {1, false, true, ""}, {2, false, false, ""},
               {0, true, true, ""},       {1, true, false, ""}};
  for (const auto& step : steps) {
    std::string line = "unset";
    EXPECT_EQ(step.answers, AnswerContinuation(step.continuation, step.inCommand, payload, line));
    EXPECT_EQ(step.line, line) << step.continuation << step.inCommand;
  }
  const std::pair<std::string, std::string> logged[] = {
      {"AUTH XOAUTH2", "AUTH XOAUTH2"},
      {"AUTH XOAUTH2 " + payload, "AUTH XOAUTH2 ***"},
      {"A1 AUTHENTICATE XOAUTH2 " + payload, "A1 AUTHENTICATE XOAUTH2 ***"},
      {"STAT", "STAT"}};
  for (const auto& [line, shown] : logged) EXPECT_EQ(shown, LoggedSaslLine(line, false));
  EXPECT_EQ("***", LoggedSaslLine(payload, true));
  EXPECT_EQ("", LoggedSaslLine("", true));
  EXPECT_TRUE(IsSaslContinuation("+") && IsSaslContinuation("+ eyJzdGF0dXMiOiI0MDEifQ=="));
  EXPECT_FALSE(IsSaslContinuation("+OK") || IsSaslContinuation("-ERR"));
}

TEST(SignIn, TheAuthorizeUrlAndTheHostsATokenMayGoTo) {
  SignInSecrets secrets{"st", kRfcVerifier, kRfcChallenge};
  EXPECT_EQ("https://login.microsoftonline.com/common/oauth2/v2.0/authorize?client_id=id-1"
            "&response_type=code&redirect_uri=http%3A%2F%2F127.0.0.1%3A5123%2F&response_mode=query"
            "&scope=https%3A%2F%2Foutlook.office.com%2FPOP.AccessAsUser.All%20https%3A%2F%2F"
            "outlook.office.com%2FIMAP.AccessAsUser.All%20offline_access%20openid%20profile"
            "&login_hint=al%2Bice%40example.com&state=st&code_challenge=" +
                std::string(kRfcChallenge) + "&code_challenge_method=S256",
            AuthorizeUrl(MicrosoftAuthority(""), "id-1", RedirectUri(5123), "al+ice@example.com",
                         secrets));
  // Only a test build honours the test endpoints.
  const bool test = TestEndpointsHonoured();
  EXPECT_EQ(test ? "https://idp.test/v2" : kMicrosoftAuthority,
            MicrosoftAuthority("https://idp.test/v2/"));
  const std::vector<std::string> testHosts = {"localhost", "idp.test"};
  EXPECT_EQ(test ? testHosts : MicrosoftHosts(""), MicrosoftHosts(" localhost,IDP.test "));
  EXPECT_EQ("mine", MicrosoftClientId("mine"));

  const std::pair<const char*, bool> servers[] = {
      {"pop3s://outlook.office365.com", true},
      {"pop3+starttls://OUTLOOK.OFFICE.COM:587", true},
      {"pop3s://outlook.com", true},
      {"pop3s://pop-mail.outlook.com", true},
      {"pop3s://outlook.office365.com.", true},
      {"outlook.office365.com", false},
      {"pop3://outlook.office365.com", false},
      {"pop3s://evil-outlook.com", false},
      {"pop3s://outlook.com.evil.example", false},
      {"pop3s://office365.com", false},
      {"pop3s://pop.gmail.com", false},
  };
  for (const auto& [server, allowed] : servers)
    EXPECT_EQ(allowed, TokenMayGoTo(server, MicrosoftHosts(""))) << server;
}

TEST(SignIn, TheRedirectReaderTakesOnlyThisSignInsRedirect) {
  const std::string head = " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
  const struct {
    std::string received;
    RedirectKind kind;
    std::string value;  // the code, or the error and its description
  } rows[] = {
      {"GET /?code=C0DE&state=st" + head, RedirectKind::kCode, "C0DE"},
      {"GET /?state=st&code=a%2Bb+c&session_state=x" + head, RedirectKind::kCode, "a+b c"},
      {"GET /?error=access_denied&error_description=the+user+said+no&state=st" + head,
       RedirectKind::kError, "access_denied: the user said no"},
      {"GET /?code=C0DE&state=other" + head, RedirectKind::kOther, ""},
      {"GET /?code=C0DE" + head, RedirectKind::kOther, ""},
      {"GET /?code=C0DE&state=st&state=other" + head, RedirectKind::kOther, ""},
      {"GET /?code=%zz&state=st" + head, RedirectKind::kOther, ""},
      {"GET /favicon.ico" + head, RedirectKind::kOther, ""},
      {"POST /?code=C0DE&state=st" + head, RedirectKind::kOther, ""},
      {"GET /?state=st" + head, RedirectKind::kOther, ""},
      {"GET /?code=C0DE&state=st HTTP/1.1\r\nHost: 127.0.0.1\r\n", RedirectKind::kIncomplete, ""},
      {"GET /?code=C0DE&state=st", RedirectKind::kIncomplete, ""},
      {"GET /?code=" + std::string(kMaxRedirectRequest, 'x'), RedirectKind::kOther, ""},
  };
  for (const auto& row : rows) {
    const RedirectRequest read = ReadRedirect(row.received, "st");
    EXPECT_EQ(row.kind, read.kind) << row.received.substr(0, 60);
    EXPECT_EQ(row.value, read.kind == RedirectKind::kCode ? read.code
                         : read.error.empty()             ? read.error
                                                          : read.error + ": " + read.description);
  }
  EXPECT_EQ(RedirectKind::kOther, ReadRedirect("GET /?code=C&state=" + head, "").kind);
  EXPECT_NE(std::string::npos,
            RedirectAnswer(RedirectKind::kCode).find("Signed in: you may close this window"));
  EXPECT_EQ(0u, RedirectAnswer(RedirectKind::kOther).find("HTTP/1.1 400 "));
}

TEST(SignIn, TheJsonReaderKeepsTopLevelStringsAndNumbersOfOneWholeObject) {
  const std::pair<std::string, Members> good[] = {
      {R"({"access_token":"a\"b\\c\/d","expires_in":3599,"ok":true,"n":null})",
       {{"access_token", "a\"b\\c/d"}, {"expires_in", "3599"}}},
      {" {\"e\" : \"\\u00e9\\ud83d\\ude00\\n\", \"x\":-1.5e+3} \r\n",
       {{"e", "\xc3\xa9\xf0\x9f\x98\x80\n"}, {"x", "-1.5e+3"}}},
      {R"({"nested":{"error":"inner","a":[1,{"b":[]}]},"error":"outer"})", {{"error", "outer"}}},
      {"{}", {}},
  };
  for (const auto& [text, members] : good) {
    Members read;
    EXPECT_TRUE(ReadJsonObject(text, read)) << text;
    EXPECT_EQ(members, read) << text;
  }
  const std::string bad[] = {
      "",  "[]", "{", R"({"a":1,})", R"({"a":01})", R"({"a":"\ud83d"})", R"({"a":"\x"})",
      "{\"a\":\"\x01\"}", R"({"a":1} x)", R"({a:1})", R"({"a":tru})",
      std::string(40, '[') + std::string(40, ']'),
      "{\"a\":\"" + std::string(kMaxJsonText, 'x') + "\"}",
      "{\"d\":" + std::string(100, '[') + std::string(100, ']') + "}"};
  for (const std::string& text : bad) {
    Members read;
    EXPECT_FALSE(ReadJsonObject(text, read)) << text.substr(0, 40);
    EXPECT_TRUE(read.empty());
  }
}

TEST(SignIn, TheTokenEndpointsAnswersAndARenewalThatReplacesTheRefreshToken) {
  const std::string granted = R"({"access_token":"AT","refresh_token":"RT2","expires_in":3599,)"
                              R"("id_token":")" + FakeWeb::IdToken("Zoe@Example.com") + "\"}";
  const struct {
    WebResponse response;
    TokenStatus status;
    std::string refresh;  // what is to be kept after renewing RT1
    std::string said;     // the account, or the error
  } rows[] = {
      {FakeWeb::Answer(200, granted), TokenStatus::kGranted, "RT2", "Zoe@Example.com"},
      {FakeWeb::Answer(200, R"({"access_token":"AT","expires_in":"60"})"), TokenStatus::kGranted,
       "RT1", ""},
      {FakeWeb::Answer(400, R"({"error":"invalid_grant","error_description":"AADSTS70008"})"),
       TokenStatus::kSignInNeeded, "", "invalid_grant: AADSTS70008"},
      {FakeWeb::Answer(400, R"({"error":"invalid_client"})"), TokenStatus::kRefused, "",
       "invalid_client"},
      {FakeWeb::Answer(200, R"({"token_type":"Bearer"})"), TokenStatus::kFailed, "", ""},
      {FakeWeb::Answer(503, "<html>busy</html>"), TokenStatus::kFailed, "", ""},
      {WebResponse(), TokenStatus::kFailed, "", ""},
      {{WebResult::kUntrusted, 0, ""}, TokenStatus::kFailed, "", ""},
  };
  for (const auto& row : rows) {
    FakeWeb web;
    web.answers = {row.response};
    const TokenGrant grant = RenewAccess(web, "https://login.example/token", "id", "RT1", 500);
    EXPECT_EQ(row.status, grant.status) << row.response.body;
    EXPECT_EQ(row.refresh, grant.refreshToken) << row.response.body;
    EXPECT_EQ(row.said, grant.status == TokenStatus::kGranted ? grant.account : grant.error);
    ASSERT_EQ(1u, web.requests.size());
    EXPECT_EQ("https://login.example/token", web.requests[0].url);
    EXPECT_EQ("application/x-www-form-urlencoded", web.requests[0].contentType);
    EXPECT_EQ(0u, web.requests[0].body.find("client_id=id&grant_type=refresh_token&refresh_"
                                            "token=RT1&scope=https%3A%2F%2Foutlook"));
  }
  EXPECT_EQ(3599, ReadTokenResponse(FakeWeb::Answer(200, granted)).expiresInSeconds);
}

// The credential store as a map; writes to the targets in refuse fail.
struct MemoryStore : SecretStore {
  bool Write(const std::string& target, const std::string& bytes) override {
    if (refuse.count(target)) return false;
    kept[target] = bytes;
    return true;
  }
  bool Read(const std::string& target, std::string& bytes) override {
    const auto found = kept.find(target);
    if (found == kept.end()) return false;
    bytes = found->second;
    return true;
  }
  void Remove(const std::string& target) override { kept.erase(target); }
  std::map<std::string, std::string> kept;
  std::set<std::string> refuse;
};

TEST(SignIn, ALongTokenIsKeptInPartsReadBackInOrderAndForgottenTogether) {
  MemoryStore store;
  store.kept["other"] = "x";
  std::string token;
  for (int i = 0; token.size() < 6000; ++i) token += std::to_string(i) + ".";
  ASSERT_TRUE(KeepToken(store, "Tarvik:a", token));
  EXPECT_EQ(4u, store.kept.size());
  EXPECT_EQ(kMaxSecretPart, store.kept["Tarvik:a"].size());
  EXPECT_EQ(kMaxSecretPart, store.kept["Tarvik:a#2"].size());
  EXPECT_EQ(token.size() - 2 * kMaxSecretPart, store.kept["Tarvik:a#3"].size());
  std::string read;
  EXPECT_TRUE(FindToken(store, "Tarvik:a", read) && read == token);

  ASSERT_TRUE(KeepToken(store, "Tarvik:a", "short"));
  EXPECT_EQ((std::map<std::string, std::string>{{"other", "x"}, {"Tarvik:a", "short"}}),
            store.kept);
  store.refuse = {"Tarvik:a#2"};
  EXPECT_FALSE(KeepToken(store, "Tarvik:a", token));
  EXPECT_FALSE(FindToken(store, "Tarvik:a", read));
  store.refuse.clear();
  ASSERT_TRUE(KeepToken(store, "Tarvik:a", token));
  ForgetToken(store, "Tarvik:a");
  EXPECT_EQ((std::map<std::string, std::string>{{"other", "x"}}), store.kept);
}

class SignInFlowTest : public ::testing::Test {
 protected:
  SignInFlowTest() { random.queued = {std::string(32, 'S'), kRfcOctets}; }

  SignInResult Run(FakeBrowser& browser, SignInLimits limits = SignInLimits()) {
    SignInFlow flow({web, *listener, random, *digest}, {"id-1", "https://login.example/t", "zoe"},
                    [&browser](const std::string& url) { return browser.Open(url); }, limits);
    return flow.Run();
  }

  FakeWeb web;
  FakeRandom random;
  std::unique_ptr<Listener> listener = CreatePosixListener();
  std::unique_ptr<Digest> digest = CreatePosixDigest();
};

TEST_F(SignInFlowTest, OnlyTheRedirectWithTheStateEndsItAnIdleConnectionHoldsUpNothing) {
  web.answers = {FakeWeb::Granted("AT", "RT", "zoe@x")};
  FakeBrowser browser({"", "GET /?code=C0DE&state=forged", "GET /favicon.ico",
                   "GET /?code=C0DE&state=STATE"});
  const auto started = std::chrono::steady_clock::now();
  const SignInResult result = Run(browser, {60000, 20000, 5000});
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
  EXPECT_EQ(SignInEnd::kSignedIn, result.end);
  EXPECT_EQ("AT", result.grant.accessToken);
  EXPECT_EQ("RT", result.grant.refreshToken);
  EXPECT_EQ("zoe@x", result.grant.account);
  ASSERT_EQ(1u, web.requests.size());
  EXPECT_EQ("https://login.example/t/token", web.requests[0].url);
  const std::string& body = web.requests[0].body;
  const auto parameter = [](const std::string& text, const std::string& name) {
    const size_t at = text.find(name + "=") + name.size() + 1;
    return text.substr(at, text.find('&', at) - at);
  };
  EXPECT_EQ("C0DE", parameter(body, "code"));
  EXPECT_EQ(kRfcVerifier, parameter(body, "code_verifier"));
  EXPECT_EQ("authorization_code", parameter(body, "grant_type"));
  EXPECT_EQ(parameter(browser.authorizeUrl, "redirect_uri"), parameter(body, "redirect_uri"));
  EXPECT_EQ("zoe", parameter(browser.authorizeUrl, "login_hint"));
  EXPECT_EQ((std::vector<std::string>{"HTTP/1.1 400 Bad Request", "HTTP/1.1 400 Bad Request",
                                      "HTTP/1.1 200 OK"}),
            browser.answers);
}

TEST_F(SignInFlowTest, EveryOtherEnd) {
  const struct {
    std::vector<std::string> visits;
    bool browserOpens;
    WebResponse token;
    SignInEnd end;
    std::string error;
  } rows[] = {
      {{"GET /?error=access_denied&error_description=no&state=STATE"}, true, {},
       SignInEnd::kDenied, "access_denied: no"},
      {{"GET /?error=access_denied&state=forged"}, true, {}, SignInEnd::kTimedOut, ""},
      {{""}, true, {}, SignInEnd::kTimedOut, ""},
      {{}, false, {}, SignInEnd::kNoBrowser, ""},
      {{"GET /?code=C&state=STATE"}, true,
       FakeWeb::Answer(400, R"({"error":"invalid_grant","error_description":"used"})"),
       SignInEnd::kTokenRefused, "invalid_grant: used"},
      {{"GET /?code=C&state=STATE"}, true, {}, SignInEnd::kTokenFailed, ""},
  };
  for (const auto& row : rows) {
    web.answers = {row.token};
    random.queued.clear();
    FakeBrowser browser(row.visits);
    SignInFlow flow({web, *listener, random, *digest}, {"id", "https://login.example", "zoe"},
                    [&](const std::string& url) { return row.browserOpens && browser.Open(url); },
                    {700, 300, 500});
    const SignInResult result = flow.Run();
    EXPECT_EQ(row.end, result.end) << row.error;
    EXPECT_EQ(row.error, result.grant.error);
  }
  random.fails = true;
  FakeBrowser unused({});
  EXPECT_EQ(SignInEnd::kNotStarted, Run(unused).end);
}

TEST_F(SignInFlowTest, ACancelFromAnotherThreadEndsTheWaitAtOnce) {
  FakeBrowser browser({""});
  SignInFlow flow({web, *listener, random, *digest}, {"id", "https://login.example", "zoe"},
                  [&](const std::string& url) { return browser.Open(url); });
  std::atomic<bool> finished{false};
  flow.Start([&finished] { finished = true; });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(finished);
  const auto cancelled = std::chrono::steady_clock::now();
  flow.Cancel();
  EXPECT_EQ(SignInEnd::kCancelled, flow.Result().end);
  EXPECT_TRUE(finished);
  EXPECT_LT(std::chrono::steady_clock::now() - cancelled, std::chrono::seconds(1));
}

}  // namespace

namespace {

// Each row signs in (AT0 and RT0, for an hour) age seconds before a check,
// or starts anew with RT0 in the store; then each conversation accepts the
// access token it gets or not, and the token endpoint answers in turn.
TEST(SignInTokens, RenewalsRefusalsAndTheFreshRule) {
  const std::string longToken(3000, 'L');
  const struct {
    const char* what;
    int age;
    std::vector<bool> accepts;
    std::vector<WebResponse> renewals;
    std::vector<std::string> sent;  // the access tokens the conversations got
    CheckResult result;
    std::string kept;  // the refresh token then in the store
    bool signInNeeded;
  } rows[] = {
      {"held", 90, {true}, {}, {"AT0"}, kCheckCompleted, "RT0", false},
      {"expiring: renewed first", 3400, {true}, {FakeWeb::Granted("AT1", "RT1")}, {"AT1"},
       kCheckCompleted, "RT1", false},
      {"a new start: kept in parts", -1, {true}, {FakeWeb::Granted("AT1", longToken)}, {"AT1"},
       kCheckCompleted, longToken, false},
      {"refused: renewed once", 90, {false, true}, {FakeWeb::Granted("AT1", "RT1")},
       {"AT0", "AT1"}, kCheckCompleted, "RT1", false},
      {"fresh and refused", 30, {false}, {}, {"AT0"}, kCheckTokenRefused, "RT0", true},
      {"renewed and refused again", 90, {false, false}, {FakeWeb::Granted("AT1", "RT1")},
       {"AT0", "AT1"}, kCheckTokenRefused, "RT1", true},
      {"invalid_grant", -1, {}, {FakeWeb::Answer(400, R"({"error":"invalid_grant"})")}, {},
       kCheckTokenRefused, "RT0", true},
      {"no answer", -1, {}, {WebResponse()}, {}, kCheckRenewFailed, "RT0", false},
  };
  AccountSettings account;
  account.id = 7;
  account.server = "pop3s://outlook.office365.com";
  account.user = "zoe";
  account.signIn = kSignInMicrosoft;
  const std::string target = "Tarvik:zoe@pop3s://outlook.office365.com";
  for (const auto& row : rows) {
    FakeWorld world;
    const auto web = std::make_shared<FakeWeb>();
    const auto credentials = std::make_shared<FakeCredentials>(world);
    auto now = std::chrono::steady_clock::now();
    SignInTokens tokens(credentials, web, [&now] { return now; });
    if (row.age < 0) world.credentials[target] = "RT0";
    tokens.Follow({account}, MicrosoftSetupFrom("id", "", ""));
    if (row.age >= 0) tokens.SignedIn(7, {TokenStatus::kGranted, "AT0", "RT0", 3600, "", ""});
    now += std::chrono::seconds(std::max(row.age, 0));
    web->answers = row.renewals;
    std::vector<std::string> sent;
    const CheckOutcome outcome = ConverseWithToken(
        tokens, 7, MailAccount{}, [&](const MailAccount& mailbox) {
          sent.push_back(mailbox.accessToken);
          return row.accepts.at(sent.size() - 1) ? CheckOutcome() : FailedAt(kCheckTokenRefused);
        }, 1000, nullptr);
    EXPECT_EQ(row.sent, sent) << row.what;
    EXPECT_EQ(row.result, outcome.result) << row.what;
    EXPECT_EQ(row.renewals.size(), web->requests.size()) << row.what;
    EXPECT_EQ(row.signInNeeded, tokens.SignInNeeded(7)) << row.what;
    std::string kept;
    CredentialSecrets store(*credentials);
    EXPECT_TRUE(FindToken(store, target, kept) && kept == row.kept) << row.what;
  }
}

TEST(SignInTokens, TheRefreshTokenFollowsTheAccountAndHoldsForTheRunWhereTheStoreRefuses) {
  FakeWorld world;
  const auto credentials = std::make_shared<FakeCredentials>(world);
  SignInTokens tokens(credentials, std::make_shared<FakeWeb>());
  AccountSettings account;
  account.server = "pop3s://outlook.office365.com";
  account.user = "zoe";
  account.signIn = kSignInMicrosoft;
  const MicrosoftSetup setup = MicrosoftSetupFrom("id", "", "");
  world.credentials["Tarvik:zoe@pop3s://outlook.office365.com"] = "p\0w"s;
  tokens.Follow({account}, setup);
  EXPECT_TRUE(tokens.SignInNeeded(0)) << "an earlier version's password is no token";
  EXPECT_TRUE(tokens.SignedIn(0, {TokenStatus::kGranted, "AT", "RT", 3600, "", ""}));
  account.server = "pop3s://outlook.office.com";
  tokens.Follow({account}, setup);
  using Kept = std::map<std::string, std::string>;
  EXPECT_EQ((Kept{{"Tarvik:zoe@pop3s://outlook.office.com", "RT"}}), world.credentials);
  EXPECT_FALSE(tokens.SignInNeeded(0) || tokens.NotKept(0)) << "a Microsoft host for another";
  account.user = "ann";
  tokens.Follow({account}, setup);
  EXPECT_TRUE(world.credentials.empty() && tokens.SignInNeeded(0)) << "another user name";
  world.credentialWritesFail = true;
  EXPECT_FALSE(tokens.SignedIn(0, {TokenStatus::kGranted, "AT", "RT", 3600, "", ""}));
  EXPECT_TRUE(tokens.NotKept(0) && !tokens.SignInNeeded(0)) << "held for this run";
  account.signIn.clear();
  tokens.Follow({account}, setup);
  EXPECT_TRUE(tokens.SignInNeeded(0));
}

}  // namespace
