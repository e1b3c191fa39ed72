#include <stdexcept>
#include <unordered_set>

#include <gtest/gtest.h>

#include "AuthTestSupport.hpp"
#include "auth/AuthClientConfiguration.hpp"
#include "auth/AuthError.hpp"

namespace zirudeze::auth {
namespace {

helpers::HTTPURLResponse responseWithStatus(int status) {
  helpers::HTTPURLResponse response;
  response.url = "https://project.example/auth/v1/token";
  response.statusCode = status;
  return response;
}

TEST(ErrorCode, AnyTextIsACodeComparedByItsText) {
  EXPECT_EQ(ErrorCode("weak_password"), ErrorCode::weakPassword);
  EXPECT_EQ(ErrorCode::sessionNotFound.rawValue(), "session_not_found");
  EXPECT_EQ(ErrorCode::mfaTotpEnrollNotEnabled.rawValue(), "mfa_totp_enroll_not_enabled");
  EXPECT_EQ(ErrorCode::invalidJwt.rawValue(), "invalid_jwt");
  const ErrorCode custom("brand_new_code");
  EXPECT_EQ(custom.rawValue(), "brand_new_code");
  EXPECT_NE(custom, ErrorCode::unknown);
  const std::unordered_set<ErrorCode> set{ErrorCode("otp_expired"), ErrorCode::otpExpired};
  EXPECT_EQ(set.size(), 1u);
}

TEST(ErrorCode, IsReadFromAJSONStringOnly) {
  EXPECT_EQ(testing::fromWire<ErrorCode>(R"("otp_expired")"), ErrorCode::otpExpired);
  EXPECT_TRUE(testing::decodingError<ErrorCode>("401").has_value());
}

TEST(AuthError, FixedCasesHaveTheirTextsAndCodes) {
  const std::vector<std::tuple<AuthError, std::string, ErrorCode>> table = {
      {AuthError::sessionMissing(), "Auth session missing.", ErrorCode::sessionNotFound},
      {AuthError::missingExpClaim(), "Missing expiration claim in the access token.", ErrorCode::unknown},
      {AuthError::malformedJWT(), "A malformed JWT received.", ErrorCode::unknown},
      {AuthError::missingURL(), "Missing URL.", ErrorCode::unknown},
      {AuthError::invalidRedirectScheme(), "Invalid redirect scheme.", ErrorCode::unknown},
      {AuthError::jwtVerificationFailed("Invalid JWT signature"), "Invalid JWT signature", ErrorCode::invalidJwt},
      {AuthError::weakPassword("too short", {"length"}), "too short", ErrorCode::weakPassword},
      {AuthError::pkceGrantCodeExchange("bad", "e", "c"), "bad", ErrorCode::unknown},
      {AuthError::implicitGrantRedirect("nope"), "nope", ErrorCode::unknown},
  };
  for (const auto& [error, message, code] : table) {
    EXPECT_EQ(error.message(), message);
    EXPECT_STREQ(error.what(), message.c_str());
    EXPECT_EQ(error.errorDescription(), message);
    EXPECT_EQ(error.errorCode(), code) << message;
  }
}

TEST(AuthError, AnAPIErrorsDescriptionIsItsMessageAloneAndItsCodeThePayloads) {
  const auto error =
      AuthError::api("Token has expired or is invalid", ErrorCode::otpExpired, {}, responseWithStatus(403));
  EXPECT_STREQ(error.what(), "Token has expired or is invalid");
  EXPECT_EQ(error.errorCode(), ErrorCode::otpExpired);
  ASSERT_NE(error.as<AuthError::APICase>(), nullptr);
  EXPECT_EQ(error.as<AuthError::APICase>()->underlyingResponse.statusCode, 403);
}

TEST(AuthError, EqualityComparesCaseAndEveryPayloadField) {
  const auto base =
      AuthError::api("m", ErrorCode::unknown, velmoria::base::dataFromString("a"), responseWithStatus(400));
  EXPECT_EQ(base,
            AuthError::api("m", ErrorCode::unknown, velmoria::base::dataFromString("a"), responseWithStatus(400)));
  EXPECT_NE(base,
            AuthError::api("m", ErrorCode::unknown, velmoria::base::dataFromString("b"), responseWithStatus(400)));
  EXPECT_NE(base,
            AuthError::api("m", ErrorCode::unknown, velmoria::base::dataFromString("a"), responseWithStatus(401)));
  EXPECT_NE(base, AuthError::api("m", ErrorCode::badJwt, velmoria::base::dataFromString("a"), responseWithStatus(400)));
  EXPECT_NE(AuthError::pkceGrantCodeExchange("m", "e"), AuthError::pkceGrantCodeExchange("m"));
  EXPECT_NE(AuthError::implicitGrantRedirect("m"), AuthError::jwtVerificationFailed("m"));
}

TEST(AuthError, MatchesOnlyAnEqualAuthError) {
  const auto missing = AuthError::sessionMissing();
  EXPECT_FALSE(AuthError::matches(std::runtime_error("Auth session missing."), missing));
  EXPECT_FALSE(AuthError::matches(AuthError::malformedJWT(), missing));
  EXPECT_TRUE(AuthError::matches(AuthError::sessionNotFound(), missing));
  EXPECT_TRUE(AuthError::matches(std::make_exception_ptr(AuthError::sessionMissing()), missing));
  EXPECT_FALSE(AuthError::matches(std::make_exception_ptr(std::logic_error("x")), missing));
  EXPECT_FALSE(AuthError::matches(std::exception_ptr(), missing));
}

TEST(AuthError, OlderBuildersGiveTheirFixedMessages) {
  EXPECT_EQ(AuthError::pkce(AuthError::PKCEFailureReason::codeVerifierNotFound),
            AuthError::pkceGrantCodeExchange("A code verifier wasn't found in PKCE flow."));
  EXPECT_EQ(AuthError::pkce(AuthError::PKCEFailureReason::invalidPKCEFlowURL).message(), "Not a valid PKCE flow url.");
  EXPECT_EQ(AuthError::invalidImplicitGrantFlowURL(),
            AuthError::implicitGrantRedirect("Not a valid implicit grant flow url."));
}

TEST(AuthError, TheOlderAPIBuilderWithOnlyAStatusIsAnUnexpectedError) {
  const auto error = AuthError::api(AuthError::APIError(std::nullopt, 401));
  const auto* api = error.as<AuthError::APICase>();
  ASSERT_NE(api, nullptr);
  EXPECT_EQ(api->message, "Unexpected API error.");
  EXPECT_EQ(api->errorCode, ErrorCode::unknown);
  EXPECT_EQ(api->underlyingResponse.statusCode, 401);
  EXPECT_EQ(api->underlyingResponse.url, defaultAuthURL().absoluteString());
  EXPECT_EQ(velmoria::base::stringFromData(api->underlyingData), R"({"code":401})");
  EXPECT_EQ(AuthError::api(AuthError::APIError()).as<AuthError::APICase>()->underlyingResponse.statusCode, 500);
}

TEST(AuthError, TheOlderAPIBuilderPicksTheFirstMessageAndKeepsAWeakPassword) {
  const AuthError::APIError body(std::nullopt, 422, "invalid_grant", "Bad credentials");
  const auto api = AuthError::api(body);
  EXPECT_EQ(api.message(), "invalid_grant");
  EXPECT_EQ(velmoria::base::stringFromData(api.as<AuthError::APICase>()->underlyingData),
            R"({"code":422,"error":"invalid_grant","error_description":"Bad credentials"})");
  EXPECT_EQ(AuthError::api(AuthError::APIError(std::nullopt, 400, std::nullopt, "only description")).message(),
            "only description");
  const auto weak =
      AuthError::api(AuthError::APIError("weak", 422, std::nullopt, std::nullopt, WeakPassword{{"length"}}));
  EXPECT_EQ(weak, AuthError::weakPassword("weak", {"length"}));
}

TEST(AuthError, TheOlderBodyReadsItsSnakeCaseKeys) {
  const auto body = testing::fromWire<AuthError::APIError>(
      R"({"msg":"m","code":400,"error_description":"d","weak_password":{"reasons":["pwned"]}})");
  EXPECT_EQ(body, AuthError::APIError("m", 400, std::nullopt, "d", WeakPassword{{"pwned"}}));
}

}  // namespace
}  // namespace zirudeze::auth
