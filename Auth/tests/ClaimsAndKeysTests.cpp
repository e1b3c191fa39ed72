#include <atomic>

#include <gtest/gtest.h>

#include "FlowServiceTestSupport.hpp"
#include "auth/AuthError.hpp"
#include "auth/RSAKeys.hpp"
#include "helpers/Base64URL.hpp"
#include "helpers/JWT.hpp"
#include "testsupport/RSATestKey.hpp"

namespace zirudeze::auth::testing {
namespace {

using velmoria::testsupport::RSATestKey;
using velmoria::testsupport::ScriptedResponse;
using Json = RSATestKey::Json;

constexpr std::int64_t kNow = 1'900'000'000;

const RSATestKey& signingKey() {
  static const RSATestKey key = RSATestKey::generate();
  return key;
}
const RSATestKey& otherKey() {
  static const RSATestKey key = RSATestKey::generate();
  return key;
}

std::string rs256(const std::string& kid, Json payload = {{"sub", "someone"}, {"exp", kNow + 3600}},
                  const RSATestKey& key = signingKey()) {
  return key.sign(Json{{"alg", "RS256"}, {"typ", "JWT"}, {"kid", kid}}, payload);
}

// A client on the fake service whose clock the test moves.
struct ClaimsClient {
  FlowService auth;
  std::shared_ptr<std::atomic<std::int64_t>> now = std::make_shared<std::atomic<std::int64_t>>(kNow);
  std::shared_ptr<AuthClient> client;

  explicit ClaimsClient(std::optional<std::string> storageKey = "unset") {
    auto parameters = auth.parameters();
    if (storageKey != "unset") parameters.storageKey = storageKey;
    client = auth.client(parameters);
    FlowService::change(*client, [clock = now](Dependencies& dependencies) {
      dependencies.date = [clock] {
        return std::chrono::system_clock::time_point(std::chrono::seconds(clock->load()));
      };
    });
    auth.flows.setKeys(Json::array({signingKey().publicJWK("key-1")}));
  }

  std::size_t keySetFetches() const { return auth.requestsTo(".well-known/jwks.json").size(); }
  std::size_t userRequests() const { return auth.requestsTo("user").size(); }
  void answerUserOnce() {
    auth.service.issueSession("x@example.com");
    auth.service.failNext("user", ScriptedResponse::json(200, auth.service.user("x@example.com").dump()));
  }
  std::string verificationError(const std::string& token, GetClaimsOptions options = {}) const {
    try {
      client->getClaims(token, options);
    } catch (const AuthError& error) {
      return error.message();
    }
    return "no error";
  }
};

TEST(KeySetCache, TheCallersKeySetSendsNothing) {
  ClaimsClient claims;
  const auto jwks = AuthJSONCoders::decoder().decode<JWKS>(Json{{"keys", {signingKey().publicJWK("key-1")}}}.dump());
  const auto result = claims.client->getClaims(rs256("key-1"), {.jwks = jwks});
  EXPECT_EQ(result.claims.sub, "someone");
  EXPECT_EQ(result.header.kid, "key-1");
  EXPECT_EQ(claims.auth.backend.requestCount(), 0u);
}

TEST(KeySetCache, AnEntryAnswersFor599SecondsAndIsFetchedAgainAt600) {
  ClaimsClient claims;
  claims.client->getClaims(rs256("key-1"));
  EXPECT_EQ(claims.keySetFetches(), 1u);
  *claims.now = kNow + 599;
  claims.client->getClaims(rs256("key-1"));
  EXPECT_EQ(claims.keySetFetches(), 1u);
  *claims.now = kNow + 600;
  claims.client->getClaims(rs256("key-1"));
  EXPECT_EQ(claims.keySetFetches(), 2u);
  EXPECT_EQ(claims.userRequests(), 0u);
}

TEST(KeySetCache, AnUnknownKidRefetchesThenAsksTheService) {
  ClaimsClient claims;
  claims.client->getClaims(rs256("key-1"));
  claims.answerUserOnce();
  claims.client->getClaims(rs256("rotated"));
  EXPECT_EQ(claims.keySetFetches(), 2u);
  EXPECT_EQ(claims.userRequests(), 1u);
  // A rotation is picked up at once.
  claims.auth.flows.setKeys(Json::array({signingKey().publicJWK("key-1"), otherKey().publicJWK("key-2")}));
  claims.client->getClaims(rs256("key-2", {{"exp", kNow + 60}}, otherKey()));
  EXPECT_EQ(claims.keySetFetches(), 3u);
  EXPECT_EQ(claims.userRequests(), 1u);
}

TEST(KeySetCache, AnEmptyFetchedSetKeepsTheEntry) {
  ClaimsClient claims;
  claims.client->getClaims(rs256("key-1"));
  claims.auth.flows.setKeys(Json::array());
  claims.answerUserOnce();
  claims.client->getClaims(rs256("unknown"));
  EXPECT_EQ(claims.keySetFetches(), 2u);
  claims.client->getClaims(rs256("key-1"));
  EXPECT_EQ(claims.keySetFetches(), 2u);
}

TEST(KeySetCache, ClientsWithoutStorageKeyShareAnEntryOnlyForOneService) {
  ClaimsClient first(std::nullopt);
  ClaimsClient sameService(std::nullopt);
  first.client->getClaims(rs256("key-1"));
  // Same service: a second keyless client of it would find the entry; another service never does.
  const auto sameURLClient = first.auth.client([&] {
    auto parameters = first.auth.parameters();
    parameters.storageKey = std::nullopt;
    return parameters;
  }());
  FlowService::change(*sameURLClient, [clock = first.now](Dependencies& dependencies) {
    dependencies.date = [clock] { return std::chrono::system_clock::time_point(std::chrono::seconds(clock->load())); };
  });
  sameURLClient->getClaims(rs256("key-1"));
  EXPECT_EQ(first.keySetFetches(), 1u);

  sameService.auth.flows.setKeys(Json::array({otherKey().publicJWK("key-1")}));
  EXPECT_EQ(sameService.verificationError(rs256("key-1")), "Invalid JWT signature");
  EXPECT_EQ(sameService.keySetFetches(), 1u);
}

TEST(Claims, HS256AlwaysCostsOneUserRequest) {
  ClaimsClient claims;
  const auto issued = claims.auth.service.issueSession("ada@example.com");
  *claims.now = issued["expires_at"].get<std::int64_t>() - 100;
  const auto result = claims.client->getClaims(issued["access_token"].get<std::string>());
  EXPECT_EQ(result.header.alg, "HS256");
  EXPECT_EQ(claims.userRequests(), 1u);
  EXPECT_EQ(claims.keySetFetches(), 0u);
  EXPECT_EQ(claims.auth.backend.lastRequest().header("Authorization"),
            "Bearer " + issued["access_token"].get<std::string>());
}

TEST(Claims, AnotherAsymmetricAlgorithmWithAKnownKidAsksTheService) {
  ClaimsClient claims;
  claims.answerUserOnce();
  const auto token = signingKey().sign(Json{{"alg", "RS512"}, {"kid", "key-1"}}, Json{{"exp", kNow + 60}});
  claims.client->getClaims(token);
  EXPECT_EQ(claims.keySetFetches(), 1u);
  EXPECT_EQ(claims.userRequests(), 1u);
}

TEST(Claims, ExpiryIsCheckedAgainstTheClientsClock) {
  ClaimsClient claims;
  EXPECT_EQ(claims.verificationError(rs256("key-1", {{"exp", kNow}})), "JWT has expired");
  EXPECT_EQ(claims.auth.backend.requestCount(), 0u);
  EXPECT_EQ(claims.verificationError(rs256("key-1", {{"exp", kNow + 1}})), "no error");
  // Allowed to be expired with its key cached: no request at all.
  claims.auth.backend.clearRequests();
  EXPECT_EQ(claims.verificationError(rs256("key-1", {{"exp", kNow - 1000}}), {.allowExpired = true}), "no error");
  EXPECT_EQ(claims.auth.backend.requestCount(), 0u);
}

TEST(Claims, ATamperedTokenFailsItsSignature) {
  ClaimsClient claims;
  const auto token = rs256("key-1");
  const auto forged = rs256("key-1", {{"sub", "admin"}, {"exp", kNow + 3600}});
  const auto signature = token.substr(token.rfind('.'));
  EXPECT_EQ(claims.verificationError(forged.substr(0, forged.rfind('.')) + signature), "Invalid JWT signature");
  EXPECT_EQ(claims.verificationError("not.a-token"), "Invalid JWT structure");
  EXPECT_EQ(claims.verificationError(rs256("key-1", {{"exp", kNow + 60}}, otherKey())), "Invalid JWT signature");
}

TEST(Claims, AnRS256TokenWithoutKidIsLeftToTheService) {
  ClaimsClient claims;
  // The header and payload of the RS256 example of RFC 7515 (A.2): no "kid", an "exp" long gone.
  const std::string header = "eyJhbGciOiJSUzI1NiJ9";
  const std::string payload =
      "eyJpc3MiOiJqb2UiLA0KICJleHAiOjEzMDA4MTkzODAsDQogImh0dHA6Ly9leGFtcGxlLmNvbS9pc19yb290Ijp0cnVlfQ";
  const std::string token = header + "." + payload + "." + signingKey().signature(header + "." + payload);
  EXPECT_EQ(claims.verificationError(token), "JWT has expired");
  claims.answerUserOnce();
  const auto result = claims.client->getClaims(token, {.allowExpired = true});
  EXPECT_EQ(result.claims.iss, "joe");
  EXPECT_EQ(result.claims.exp, 1300819380.0);
  EXPECT_EQ(claims.userRequests(), 1u);
  EXPECT_EQ(claims.keySetFetches(), 0u);
}

// RFC 7520: the RSA key of section 3.4 (no "alg") and the RS256 signature of section 4.1. Its payload is
// text, not claims, so the signature is checked with the key the client finds, below getClaims.
TEST(KeySetCache, APublishedKeyFoundByItsKidVerifiesItsPublishedSignature) {
  ClaimsClient claims;
  const std::string kid = "bilbo.baggins@hobbiton.example";
  claims.auth.flows.setKeys(Json::array(
      {signingKey().publicJWK("key-1"),
       Json{{"kty", "RSA"},
            {"kid", kid},
            {"use", "sig"},
            {"n",
             "n4EPtAOCc9AlkeQHPzHStgAbgs7bTZLwUBZdR8_KuKPEHLd4rHVTeT-O-XV2jRojdNhxJWTDvNd7nqQ0VEiZQHz_AJmSCpMaJMRBSFKr"
             "Kb2wqVwGU_NsYOYL-QtiWN2lbzcEe6XC0dApr5ydQLrHqkHHig3RBordaZ6Aj-oBHqFEHYpPe7Tpe-OfVfHd1E6cS6M1FZcD1NNLYD5"
             "lFHpPI9bTwJlsde3uhGqC0ZCuEHg8lhzwOHrtIQbS0FVbb9k3-tVTU4fg_3L_vniUFAKwuCLqKnS2BYwdq_mzSnbLY7h_qixoR7jig3_"
             "_kRhuaxwUkRz5iaiQkqgc5gHdrNP5zw"},
            {"e", "AQAB"}}}));
  const auto jwk = claims.client->fetchJWK(kid);
  ASSERT_TRUE(jwk.has_value());
  EXPECT_EQ(jwk->kid, kid);
  EXPECT_EQ(claims.keySetFetches(), 1u);

  helpers::DecodedJWT token;
  token.raw = {
      "eyJhbGciOiJSUzI1NiIsImtpZCI6ImJpbGJvLmJhZ2dpbnNAaG9iYml0b24uZXhhbXBsZSJ9",
      "SXTigJlzIGEgZGFuZ2Vyb3VzIGJ1c2luZXNzLCBGcm9kbywgZ29pbmcgb3V0IHlvdXIgZG9vci4gWW91IHN0ZXAgb250byB0aGUgcm9hZC"
      "wgYW5kIGlmIHlvdSBkb24ndCBrZWVwIHlvdXIgZmVldCwgdGhlcmXigJlzIG5vIGtub3dpbmcgd2hlcmUgeW91IG1pZ2h0IGJlIHN3ZXB0"
      "IG9mZiB0by4"};
  token.signature = *helpers::Base64URL::decode(
      "MRjdkly7_-oTPTS3AXP41iQIGKa80A0ZmTuV5MEaHoxnW2e5CZ5NlKtainoFmKZopdHM1O2U4mwzJdQx996ivp83xuglII7PNDi84wnB-BDkoBw"
      "A78185hX-Es4JIwmDLJK3lfWRa-XtL0RnltuYv746iYTh_qHRD68BNt1uSNCrUCTJDt5aAE6x8wW1Kt9eRo4QPocSadnHXFxnt8Is9UzpERV0e"
      "PPQdLuW3IS_de3xyIrDaLGdjluPxUAhb6L2aXic1U12podGU0KLUQSE_oI-ZnmKJ3F4uOZDnd6QZWJushZ41Axf_fcIe8u9ipH84ogoree7vjb"
      "U5y18kDquDg");
  EXPECT_TRUE(verifyRS256(token, *jwk));
  token.raw.second.back() = 'C';
  EXPECT_FALSE(verifyRS256(token, *jwk));
}

TEST(Claims, WithoutATokenTheStoredSessionsIsUsed) {
  ClaimsClient claims;
  EXPECT_THROW(claims.client->getClaims(), AuthError);
  EXPECT_EQ(claims.auth.backend.requestCount(), 0u);
}

}  // namespace
}  // namespace zirudeze::auth::testing
