#include <gtest/gtest.h>

#include "helpers/Base64URL.hpp"
#include "helpers/JWT.hpp"

namespace zirudeze::helpers {
namespace {

// The HMAC example token of RFC 7515, appendix A.1.
constexpr std::string_view kHeader = "eyJ0eXAiOiJKV1QiLA0KICJhbGciOiJIUzI1NiJ9";
constexpr std::string_view kPayload =
    "eyJpc3MiOiJqb2UiLA0KICJleHAiOjEzMDA4MTkzODAsDQogImh0dHA6Ly9leGFtcGxlLmNvbS9pc19yb290Ijp0cnVlfQ";
constexpr std::string_view kSignature = "dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk";

std::string token(std::string_view header, std::string_view payload, std::string_view signature) {
  return std::string(header) + "." + std::string(payload) + "." + std::string(signature);
}

std::string segment(std::string_view json) { return Base64URL::encode(json); }

TEST(JWT, DecodesAllThreePartsOfAToken) {
  const auto decoded = JWT::decode(token(kHeader, kPayload, kSignature));
  ASSERT_TRUE(decoded.has_value());
  EXPECT_EQ(decoded->header, (JSONObject{{"typ", "JWT"}, {"alg", "HS256"}}));
  EXPECT_EQ(decoded->payload.at("iss"), AnyJSON("joe"));
  // An integral claim stays an integer, so expiry checks can read it as one.
  EXPECT_EQ(decoded->payload.at("exp").intValue(), 1300819380);
  EXPECT_EQ(decoded->payload.at("http://example.com/is_root"), AnyJSON(true));
  EXPECT_EQ(decoded->signature.size(), 32u);
  EXPECT_EQ(decoded->signature.front(), 0x74);
  EXPECT_EQ(decoded->signature.back(), 0x79);
  EXPECT_EQ(decoded->raw.first, kHeader);
  EXPECT_EQ(decoded->raw.second, kPayload);

  EXPECT_EQ(JWT::decodePayload(token(kHeader, kPayload, kSignature)), decoded->payload);
}

TEST(JWT, SplitsOnPointsAndDropsEmptyPieces) {
  const std::string doubled = std::string(kHeader) + ".." + std::string(kPayload) + "." + std::string(kSignature) + ".";
  ASSERT_TRUE(JWT::decode(doubled).has_value());
  EXPECT_EQ(JWT::decode(doubled)->raw.second, kPayload);

  // An empty signature leaves two pieces.
  const std::string unsigned_ = std::string(kHeader) + "." + std::string(kPayload) + ".";
  EXPECT_EQ(JWT::decode(unsigned_), std::nullopt);
  EXPECT_EQ(JWT::decodePayload(unsigned_), std::nullopt);
  EXPECT_EQ(JWT::decodePayload(token(kHeader, kPayload, kSignature) + ".abc"), std::nullopt);
  EXPECT_EQ(JWT::decodePayload(""), std::nullopt);
  EXPECT_EQ(JWT::decodePayload("..."), std::nullopt);
}

TEST(JWT, GivesNothingForSegmentsThatAreNotJSONObjects) {
  EXPECT_EQ(JWT::decodePayload(token(kHeader, segment("[1,2]"), kSignature)), std::nullopt);
  EXPECT_EQ(JWT::decodePayload(token(kHeader, segment("\"x\""), kSignature)), std::nullopt);
  EXPECT_EQ(JWT::decodePayload(token(kHeader, segment("{\"a\":1} trailing"), kSignature)), std::nullopt);
  EXPECT_EQ(JWT::decodePayload(token(kHeader, "Zm9vY", kSignature)), std::nullopt);
  EXPECT_EQ(JWT::decode(token(segment("[]"), kPayload, kSignature)), std::nullopt);
  EXPECT_EQ(JWT::decode(token(kHeader, kPayload, "Zm9vY")), std::nullopt) << "the signature must be Base64 too";
  // decodePayload does not look at the header or the signature.
  EXPECT_TRUE(JWT::decodePayload(token("x", kPayload, "y")).has_value());
}

TEST(JWT, RefusesDeeplyNestedClaimsWithoutCrashing) {
  const std::string deep = "{\"a\":" + std::string(100000, '[') + std::string(100000, ']') + "}";
  EXPECT_EQ(JWT::decodePayload(token(kHeader, segment(deep), kSignature)), std::nullopt);
  const std::string fine = "{\"a\":" + std::string(500, '[') + std::string(500, ']') + "}";
  EXPECT_TRUE(JWT::decodePayload(token(kHeader, segment(fine), kSignature)).has_value());
}

}  // namespace
}  // namespace zirudeze::helpers
