#include <gtest/gtest.h>

#include "AuthTestSupport.hpp"
#include "auth/AuthResponse.hpp"
#include "auth/MultiFactorTypes.hpp"
#include "auth/OAuthClientTypes.hpp"

namespace zirudeze::auth {
namespace {

using namespace testing;

constexpr std::string_view kUser =
    R"({"id":"8a0f4c2e-1b7d-4c3a-9e55-0d6b1f2a3c4d","aud":"authenticated","created_at":"2024-01-01T00:00:00Z",
        "updated_at":"2024-01-01T00:00:00Z","user_metadata":{"full_name":"Ada"}})";

std::string sessionAnswer() {
  return R"({"access_token":"at","token_type":"bearer","expires_in":3600,"expires_at":1715000000.5,"refresh_token":"rt","user":)" +
         std::string(kUser) + "}";
}

TEST(AuthResponseCoding, SessionFirstThenUser) {
  const auto session = fromWire<AuthResponse>(sessionAnswer());
  ASSERT_TRUE(session.isSession());
  EXPECT_EQ(session.session()->expiresAt, 1715000000.5);
  EXPECT_EQ(session.user().aud, "authenticated");

  const auto user = fromWire<AuthResponse>(kUser);
  EXPECT_FALSE(user.isSession());
  EXPECT_EQ(user.session(), std::nullopt);
  EXPECT_EQ(user.user().userMetadata.at("full_name"), helpers::AnyJSON("Ada"));

  // Same user, different forms.
  EXPECT_NE(AuthResponse(session.user()), session);
  EXPECT_EQ(AuthResponse(session.user()), AuthResponse(fromWire<User>(kUser)));
}

TEST(AuthResponseCoding, WrittenAsThePayloadAloneAndReadBack) {
  const auto session = fromWire<AuthResponse>(sessionAnswer());
  const velmoria::base::Json encoded = wire(session);
  EXPECT_EQ(encoded["access_token"], "at");
  EXPECT_FALSE(encoded.contains("session"));
  EXPECT_EQ(fromWire<AuthResponse>(encoded.dump()), session);
  const auto user = fromWire<AuthResponse>(kUser);
  EXPECT_EQ(wire(user)["aud"], "authenticated");
  EXPECT_EQ(fromWire<AuthResponse>(wire(user).dump()), user);
}

TEST(AuthResponseCoding, NeitherFormIsOneFixedError) {
  for (const char* body : {"{}", "[]", "null", R"({"access_token":"at"})", "5"}) {
    const auto error = decodingError<AuthResponse>(body);
    ASSERT_TRUE(error) << body;
    EXPECT_EQ(error->kind(), velmoria::base::DecodingError::Kind::dataCorrupted) << body;
    EXPECT_EQ(error->debugDescription(), "Data could not be decoded as any of the expected types (Session, User).");
    EXPECT_TRUE(error->codingPath().empty());
  }
}

TEST(MultiFactorAnswers, EnrolmentWithAndWithoutTOTP) {
  const auto phone = fromWire<AuthMFAEnrollResponse>(R"({"id":"f1","type":"phone","phone":"+1"})");
  EXPECT_EQ(phone.totp, std::nullopt);
  EXPECT_EQ(phone.phone, "+1");
  const auto totp = fromWire<AuthMFAEnrollResponse>(
      R"({"id":"f2","type":"totp","friendly_name":"L","totp":{"qr_code":"data:svg","secret":"S","uri":"otpauth://x"}})");
  ASSERT_TRUE(totp.totp);
  EXPECT_EQ(totp.totp->qrCode, "data:svg");
  EXPECT_EQ(totp.friendlyName, "L");

  const auto noSecret =
      decodingError<AuthMFAEnrollResponse>(R"({"id":"f2","type":"totp","totp":{"qr_code":"q","uri":"u"}})");
  ASSERT_TRUE(noSecret);
  EXPECT_EQ(noSecret->subject(), "secret");
  EXPECT_EQ(velmoria::base::describeCodingPath(noSecret->codingPath()), "totp");
}

TEST(MultiFactorAnswers, ChallengeListAndAssuranceLevel) {
  EXPECT_EQ(fromWire<AuthMFAChallengeResponse>(R"({"id":"c","type":"totp","expires_at":1715000000})").expiresAt,
            1715000000.0);
  EXPECT_EQ(decodingError<AuthMFAChallengeResponse>(R"({"id":"c","type":"totp"})")->subject(), "expiresAt");
  EXPECT_EQ(fromWire<AuthMFAUnenrollResponse>(R"({"id":"f1"})").id, "f1");

  const auto list = fromWire<AuthMFAListFactorsResponse>(
      R"({"all":[{"id":"f","factor_type":"totp","status":"unverified","created_at":"2024-01-01T00:00:00Z",
                  "updated_at":"2024-01-01T00:00:00Z"}],"totp":[],"phone":[]})");
  ASSERT_EQ(list.all.size(), 1u);
  EXPECT_EQ(list.all[0].status, FactorStatus::unverified);
  EXPECT_EQ(list.all[0].friendlyName, std::nullopt);
  EXPECT_EQ(decodingError<AuthMFAListFactorsResponse>(R"({"all":[],"totp":[]})")->subject(), "phone");

  const auto level = fromWire<AuthMFAGetAuthenticatorAssuranceLevelResponse>(
      R"({"current_level":null,"current_authentication_methods":[]})");
  EXPECT_EQ(level.currentLevel, std::nullopt);
  EXPECT_EQ(level.nextLevel, std::nullopt);
  EXPECT_TRUE(level.currentAuthenticationMethods.empty());
  const auto methods = fromWire<AuthMFAGetAuthenticatorAssuranceLevelResponse>(
      R"({"current_level":"aal1","next_level":"aal2","current_authentication_methods":[{"method":"otp","timestamp":1715000000}]})");
  EXPECT_EQ(methods.currentAuthenticationMethods, (std::vector<AMREntry>{{"otp", 1715000000.0}}));
}

TEST(MultiFactorAnswers, AMREntryFromAClaimElement) {
  using helpers::AnyJSON;
  EXPECT_EQ(AMREntry::fromJSON(AnyJSON::object({{"method", "password"}, {"timestamp", 1715000000}})),
            (AMREntry{"password", 1715000000.0}));
  EXPECT_EQ(AMREntry::fromJSON(AnyJSON::object({{"method", "otp"}, {"timestamp", 1.5}, {"provider", "x"}})),
            (AMREntry{"otp", 1.5}));
  EXPECT_EQ(AMREntry::fromJSON(AnyJSON::object({{"method", "otp"}, {"timestamp", "1715000000"}})), std::nullopt);
  EXPECT_EQ(AMREntry::fromJSON(AnyJSON::object({{"timestamp", 1}})), std::nullopt);
  EXPECT_EQ(AMREntry::fromJSON(AnyJSON::object({{"method", 3}, {"timestamp", 1}})), std::nullopt);
  EXPECT_EQ(AMREntry::fromJSON(AnyJSON("password")), std::nullopt);
}

TEST(MultiFactorAnswers, FactorRoundTripsThroughBothCoders) {
  Factor factor{
      "f1", "Laptop", "totp", FactorStatus::verified, micros(1'704'067'200'001'000), micros(1'704'067'300'000'000)};
  EXPECT_EQ(fromWire<Factor>(wire(factor).dump()), factor);
  EXPECT_EQ(StoredSessionCoders::decoder().decode<Factor>(StoredSessionCoders::encoder().encodeToString(factor)),
            factor);
  factor.friendlyName = std::nullopt;
  EXPECT_FALSE(wire(factor).contains("friendly_name"));
}

constexpr std::string_view kClient = R"({
  "client_id": "0b9e7d6c-5a4f-4e3d-8c2b-1a0f9e8d7c6b",
  "client_name": "Desk",
  "client_type": "public",
  "token_endpoint_auth_method": "none",
  "registration_type": "dynamic",
  "redirect_uris": ["velmoria://cb"],
  "grant_types": ["authorization_code", "urn:ietf:params:oauth:grant-type:device_code"],
  "response_types": ["code"],
  "created_at": "2024-01-01T00:00:00.250Z",
  "updated_at": "2024-01-02T00:00:00Z"
})";

TEST(OAuthClientCoding, OpenKindsPassUnknownTextsThrough) {
  const auto client = fromWire<OAuthClient>(kClient);
  EXPECT_EQ(client.clientType, OAuthClientType::public_);
  EXPECT_EQ(client.registrationType, OAuthClientRegistrationType::dynamic);
  EXPECT_EQ(client.clientSecret, std::nullopt);
  ASSERT_EQ(client.grantTypes.size(), 2u);
  EXPECT_EQ(client.grantTypes[0], OAuthClientGrantType::authorizationCode);
  EXPECT_EQ(client.grantTypes[1].rawValue, "urn:ietf:params:oauth:grant-type:device_code");
  const velmoria::base::Json encoded = wire(client);
  EXPECT_EQ(encoded["grant_types"][1], "urn:ietf:params:oauth:grant-type:device_code");
  EXPECT_FALSE(encoded.contains("client_secret"));
  EXPECT_EQ(fromWire<OAuthClient>(encoded.dump()), client);
  EXPECT_NE(OAuthClientType("Public"), OAuthClientType::public_);
}

TEST(OAuthClientCoding, RequiredMembersFail) {
  velmoria::base::Json body = json(kClient);
  body.erase("redirect_uris");
  EXPECT_EQ(decodingError<OAuthClient>(body.dump())->subject(), "redirectUris");
  body = json(kClient);
  body["client_id"] = "desk";
  EXPECT_EQ(decodingError<OAuthClient>(body.dump())->kind(), velmoria::base::DecodingError::Kind::dataCorrupted);
  body = json(kClient);
  body["client_type"] = 1;
  EXPECT_EQ(decodingError<OAuthClient>(body.dump())->kind(), velmoria::base::DecodingError::Kind::typeMismatch);
}

}  // namespace
}  // namespace zirudeze::auth
