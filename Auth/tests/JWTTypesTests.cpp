#include <gtest/gtest.h>

#include "AuthTestSupport.hpp"
#include "auth/JWTTypes.hpp"
#include "helpers/JWT.hpp"

namespace zirudeze::auth {
namespace {

using namespace testing;

// The JWS of RFC 7515, appendix A.1: header {"typ":"JWT","alg":"HS256"} and the claims of RFC 7519, 3.1.
constexpr std::string_view kRFC7515Token =
    "eyJ0eXAiOiJKV1QiLA0KICJhbGciOiJIUzI1NiJ9."
    "eyJpc3MiOiJqb2UiLA0KICJleHAiOjEzMDA4MTkzODAsDQogImh0dHA6Ly9leGFtcGxlLmNvbS9pc19yb290Ijp0cnVlfQ."
    "dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk";

const velmoria::base::JSONDecoder& plainDecoder() {
  static const velmoria::base::JSONDecoder decoder;
  return decoder;
}

TEST(JWTClaimsCoding, RFCTokenDecodesHeaderAndClaims) {
  const auto token = helpers::JWT::decode(kRFC7515Token);
  ASSERT_TRUE(token);
  for (const velmoria::base::JSONDecoder* decoder : {&plainDecoder(), &AuthJSONCoders::decoder()}) {
    const auto header = helpers::decodeJSONObject<JWTHeader>(token->header, *decoder);
    EXPECT_EQ(header, (JWTHeader{"HS256", std::nullopt, "JWT"}));
    const auto claims = helpers::decodeJSONObject<JWTClaims>(token->payload, *decoder);
    EXPECT_EQ(claims.iss, "joe");
    // An integer time is the same number.
    EXPECT_EQ(claims.exp, 1300819380.0);
    EXPECT_EQ(claims.additionalClaims, (helpers::JSONObject{{"http://example.com/is_root", true}}));
  }
}

TEST(JWTClaimsCoding, RegisteredNamesMatchWhateverTheKeyStrategy) {
  constexpr std::string_view payload = R"({
    "sub": "u1", "aud": "authenticated", "exp": 1715000000.5, "iat": 1714996400, "role": "authenticated",
    "aal": "aal1", "session_id": "s1", "email": "a@b.c", "phone": "",
    "app_metadata": {"provider": "email", "sign_in_count": 2},
    "user_metadata": {"full_name": "Ada"},
    "is_anonymous": false, "amr": [{"method": "otp", "timestamp": 1714996400}]
  })";
  for (const velmoria::base::JSONDecoder* decoder : {&plainDecoder(), &AuthJSONCoders::decoder()}) {
    const auto claims = decoder->decode<JWTClaims>(payload);
    EXPECT_EQ(claims.sessionId, "s1");
    EXPECT_EQ(claims.iat, 1714996400.0);
    ASSERT_TRUE(claims.appMetadata);
    EXPECT_EQ(claims.appMetadata->count("sign_in_count"), 1u);
    ASSERT_TRUE(claims.userMetadata);
    EXPECT_EQ(claims.userMetadata->at("full_name"), helpers::AnyJSON("Ada"));
    // Other claims keep the names they were sent under.
    EXPECT_EQ(claims.additionalClaims.size(), 2u);
    EXPECT_EQ(claims.additionalClaims.count("is_anonymous"), 1u);
    EXPECT_EQ(claims.additionalClaims.count("amr"), 1u);
  }
}

TEST(JWTClaimsCoding, ReencodingPutsAdditionalClaimsBackAtTheTop) {
  const auto claims = AuthJSONCoders::decoder().decode<JWTClaims>(
      R"({"sub":"u1","session_id":"s1","custom_list":[{"a":1}],"flag":true})");
  for (const velmoria::base::JSONEncoder* encoder : {&AuthJSONCoders::encoder(), &StoredSessionCoders::encoder()}) {
    const velmoria::base::Json encoded = encoder->encodeToJson(claims);
    EXPECT_EQ(encoded, json(R"({"sub":"u1","session_id":"s1","custom_list":[{"a":1}],"flag":true})"));
    EXPECT_EQ(AuthJSONCoders::decoder().decodeJson<JWTClaims>(encoded), claims);
  }
}

TEST(JWTClaimsCoding, AudienceIsTextOrListOfText) {
  const auto& decoder = AuthJSONCoders::decoder();
  EXPECT_EQ(*decoder.decode<JWTClaims>(R"({"aud":"authenticated"})").aud->string(), "authenticated");
  EXPECT_EQ(*decoder.decode<JWTClaims>(R"({"aud":["a","b"]})").aud->array(), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(decoder.decode<JWTClaims>(R"({"aud":null})").aud, std::nullopt);
  EXPECT_EQ(wire(AudienceClaim(std::vector<std::string>{"a"})), json(R"(["a"])"));

  for (const char* body : {R"({"aud":5})", R"({"aud":["a",1]})", R"({"aud":{}})"}) {
    const auto error = decodingError<JWTClaims>(body);
    ASSERT_TRUE(error) << body;
    EXPECT_EQ(error->kind(), velmoria::base::DecodingError::Kind::typeMismatch);
    EXPECT_EQ(error->subject(), "AudienceClaim");
    EXPECT_EQ(error->debugDescription(), "Expected String or [String] for audience claim");
    EXPECT_EQ(velmoria::base::describeCodingPath(error->codingPath()), "aud");
  }
  EXPECT_EQ(decodingError<JWTClaims>(R"({"exp":"soon"})")->kind(), velmoria::base::DecodingError::Kind::typeMismatch);
  EXPECT_EQ(decodingError<JWTClaims>(R"({"session_id":1})")->kind(), velmoria::base::DecodingError::Kind::typeMismatch);
}

// The public keys of RFC 7517, appendix A.1 (modulus shortened), and its symmetric key of A.3.
constexpr std::string_view kRFC7517Keys = R"({"keys":[
  {"kty":"EC","crv":"P-256","x":"MKBCTNIcKUSDii11ySs3526iDZ8AiTo7Tu6KPAqv7D4",
   "y":"4Etl6SRW2YiLUrN5vfvVHuhp7x8PxltmWWlbbM4IFyM","use":"enc","kid":"1"},
  {"kty":"RSA","n":"0vx7agoebGcQSuuPiLJXZptN9nndrQmbXEps2aiAFbWhM78LhWx4cbbfAAtVT86zwu1RK7aPFFxuhDR1L6tSoc_BJECPebWKRXjBZCiFTGBm2FbjZ_hKgl3LR5lQGw6XShTeMsbCY97R_-SfQxSJ-w32jtjw",
   "e":"AQAB","alg":"RS256","kid":"2011-04-29"},
  {"kty":"oct","alg":"A128KW","k":"GawgguFyGrWKav7AX4VKUg","key_ops":["wrapKey","unwrapKey"]}
]})";

TEST(JWKCoding, RFCKeySetDecodesUnderEitherDecoder) {
  for (const velmoria::base::JSONDecoder* decoder : {&plainDecoder(), &AuthJSONCoders::decoder()}) {
    const auto set = decoder->decode<JWKS>(kRFC7517Keys);
    ASSERT_EQ(set.keys.size(), 3u);
    EXPECT_EQ(set.keys[0].crv, "P-256");
    EXPECT_EQ(set.keys[0].kid, "1");
    EXPECT_EQ(set.keys[0].alg, std::nullopt);
    EXPECT_EQ(set.keys[1].e, "AQAB");
    EXPECT_EQ(set.keys[1].alg, "RS256");
    EXPECT_EQ(set.keys[2].keyOps, (std::vector<std::string>{"wrapKey", "unwrapKey"}));
    EXPECT_EQ(set.keys[2].k, "GawgguFyGrWKav7AX4VKUg");
    EXPECT_EQ(decoder->decodeJson<JWKS>(AuthJSONCoders::encoder().encodeToJson(set)), set);
  }
}

TEST(JWKCoding, RequiredAndOptionalMembers) {
  EXPECT_EQ(decodingError<JWK>(R"({"kid":"1"})")->subject(), "kty");
  EXPECT_EQ(wire(JWK{.kty = "RSA"}), json(R"({"kty":"RSA"})"));
  EXPECT_EQ(wire(JWK{.kty = "oct", .keyOps = std::vector<std::string>{"sign"}}),
            json(R"({"kty":"oct","key_ops":["sign"]})"));
  EXPECT_EQ(decodingError<JWKS>("{}")->subject(), "keys");
  EXPECT_TRUE(fromWire<JWKS>(R"({"keys":[]})").keys.empty());
  const auto badKey = decodingError<JWKS>(R"({"keys":[{"kty":"RSA"},{"n":"x"}]})");
  ASSERT_TRUE(badKey);
  EXPECT_EQ(velmoria::base::describeCodingPath(badKey->codingPath()), "keys[1]");
  EXPECT_EQ(decodingError<JWTHeader>(R"({"typ":"JWT"})")->subject(), "alg");
  EXPECT_EQ(wire(JWTHeader{"RS256", "k1", std::nullopt}), json(R"({"alg":"RS256","kid":"k1"})"));
}

}  // namespace
}  // namespace zirudeze::auth
