#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "AuthTestSupport.hpp"
#include "auth/Session.hpp"
#include "auth/User.hpp"

namespace zirudeze::auth {
namespace {

using namespace testing;
using namespace std::chrono;

// A user as the service sends it: microsecond times, zone designators, snake-case metadata members.
constexpr std::string_view kServerUser = R"({
  "id": "8a0f4c2e-1b7d-4c3a-9e55-0d6b1f2a3c4d",
  "aud": "authenticated",
  "role": "authenticated",
  "email": "ada@example.com",
  "email_confirmed_at": "2024-01-02T03:04:05.123456Z",
  "phone": "",
  "confirmed_at": "2024-01-02T03:04:05.123456Z",
  "last_sign_in_at": "2024-05-06T07:08:09.654321+00:00",
  "app_metadata": {"provider": "email", "providers": ["email"]},
  "user_metadata": {"full_name": "Ada L", "avatarURL": "https://example.com/a.png"},
  "identities": [{
    "identity_id": "11111111-2222-3333-4444-555555555555",
    "id": "8a0f4c2e-1b7d-4c3a-9e55-0d6b1f2a3c4d",
    "user_id": "8a0f4c2e-1b7d-4c3a-9e55-0d6b1f2a3c4d",
    "identity_data": {"email": "ada@example.com", "email_verified": false},
    "provider": "email",
    "last_sign_in_at": "2024-01-01T00:00:00.000001Z",
    "created_at": "2024-01-01T00:00:00Z",
    "updated_at": "2024-01-01T00:00:00Z"
  }],
  "factors": [{
    "id": "f1", "friendly_name": "Phone", "factor_type": "totp", "status": "verified",
    "created_at": "2024-02-01T00:00:00Z", "updated_at": "2024-02-01T00:00:00.5Z"
  }],
  "created_at": "2024-01-01T00:00:00.000000Z",
  "updated_at": "2024-05-06T07:08:09.654321Z",
  "is_anonymous": false
})";

std::string serverSession(std::string_view extra = "") {
  return std::string(R"({"access_token":"at","token_type":"bearer","expires_in":3600,"expires_at":1715000000,)") +
         std::string(extra) + R"("refresh_token":"rt","user":)" + std::string(kServerUser) + "}";
}

// A user with millisecond times, which the wire form carries without loss.
User wireUser() {
  User user;
  user.id = *velmoria::base::UUID::fromString("8A0F4C2E-1B7D-4C3A-9E55-0D6B1F2A3C4D");
  user.aud = "authenticated";
  user.userMetadata = {{"full_name", "Ada"}, {"nestedValue", helpers::AnyJSON::object({{"inner_key", 1}})}};
  user.email = "ada@example.com";
  user.createdAt = micros(1'704'067'200'123'000);
  user.updatedAt = micros(1'704'067'201'000'000);
  user.lastSignInAt = micros(1'704'067'202'500'000);
  user.identities = std::vector<UserIdentity>{};
  return user;
}

Session wireSession() {
  Session session;
  session.providerToken = "pt";
  session.accessToken = "at";
  session.tokenType = "bearer";
  session.expiresIn = 3600;
  session.expiresAt = 1715000000.25;
  session.refreshToken = "rt";
  session.weakPassword = WeakPassword{{"length", "characters"}};
  session.user = wireUser();
  return session;
}

TEST(SessionCoding, ServerAnswerDecodesWithEveryFieldInPlace) {
  const auto session = fromWire<Session>(serverSession(R"("provider_token":null,)"));
  EXPECT_EQ(session.accessToken, "at");
  EXPECT_EQ(session.expiresIn, 3600.0);
  EXPECT_EQ(session.expiresAt, 1715000000.0);
  EXPECT_EQ(session.providerToken, std::nullopt);
  EXPECT_EQ(session.weakPassword, std::nullopt);

  const User& user = session.user;
  EXPECT_EQ(user.id.uuidString(), "8A0F4C2E-1B7D-4C3A-9E55-0D6B1F2A3C4D");
  EXPECT_EQ(user.emailConfirmedAt, micros(1'704'164'645'123'456));
  EXPECT_EQ(user.lastSignInAt, micros(1'714'979'289'654'321));
  EXPECT_EQ(user.phone, "");
  // Member names inside free-form maps are data, never converted.
  EXPECT_EQ(user.userMetadata.count("full_name"), 1u);
  EXPECT_EQ(user.userMetadata.count("avatarURL"), 1u);
  ASSERT_TRUE(user.identities);
  ASSERT_EQ(user.identities->size(), 1u);
  EXPECT_EQ((*user.identities)[0].identityId.uuidString(), "11111111-2222-3333-4444-555555555555");
  EXPECT_EQ((*user.identities)[0].identityData->count("email_verified"), 1u);
  ASSERT_TRUE(user.factors);
  EXPECT_EQ((*user.factors)[0].status, FactorStatus::verified);
  EXPECT_EQ((*user.factors)[0].friendlyName, "Phone");
}

TEST(SessionCoding, WireRoundTripKeepsEverything) {
  const Session session = wireSession();
  const velmoria::base::Json encoded = wire(session);
  EXPECT_TRUE(encoded.contains("provider_token"));
  EXPECT_FALSE(encoded.contains("provider_refresh_token"));
  EXPECT_EQ(encoded["weak_password"], json(R"({"reasons":["length","characters"]})"));
  EXPECT_EQ(encoded["user"]["created_at"], "2024-01-01T00:00:00.123");
  EXPECT_EQ(encoded["user"]["user_metadata"], json(R"({"full_name":"Ada","nestedValue":{"inner_key":1}})"));
  EXPECT_EQ(encoded["user"]["identities"], velmoria::base::Json::array());
  EXPECT_EQ(fromWire<Session>(encoded.dump()), session);
}

TEST(SessionCoding, StoredFormUsesDeclaredKeysAndNumericDatesAndComesBackEqual) {
  // Straight from the service, with microsecond times.
  const Session session = fromWire<Session>(serverSession(R"("provider_refresh_token":"prt",)"));
  const velmoria::base::Json stored = StoredSessionCoders::encoder().encodeToJson(session);
  for (const char* key :
       {"providerRefreshToken", "accessToken", "tokenType", "expiresIn", "expiresAt", "refreshToken", "user"})
    EXPECT_TRUE(stored.contains(key)) << key;
  EXPECT_FALSE(stored.contains("access_token"));
  const velmoria::base::Json& user = stored["user"];
  EXPECT_TRUE(user.contains("appMetadata"));
  EXPECT_TRUE(user.contains("isAnonymous"));
  EXPECT_TRUE(user["userMetadata"].contains("full_name"));
  EXPECT_TRUE(user["identities"][0].contains("identityId"));
  // Seconds since 2001-01-01T00:00:00Z.
  EXPECT_TRUE(user["createdAt"].is_number());
  EXPECT_DOUBLE_EQ(user["createdAt"].get<double>(), 1'704'067'200.0 - 978'307'200.0);

  const auto restored =
      StoredSessionCoders::decoder().decode<Session>(StoredSessionCoders::encoder().encodeToString(session));
  EXPECT_EQ(restored, session);
  // The stored form is not the wire form: the wire decoder does not read it.
  EXPECT_TRUE(decodingError<Session>(stored.dump()));
}

TEST(SessionCoding, StoredDatesComeBackExactly) {
  const auto& encoder = StoredSessionCoders::encoder();
  const auto& decoder = StoredSessionCoders::decoder();
  const velmoria::base::Date samples[] = {
      micros(1'704'067'200'123'000),  // a millisecond the plain double route reads back one nanosecond short
      micros(1'715'000'000'999'999),
      micros(978'307'200'000'000),  // the reference instant itself
      micros(946'684'800'000'001),  // before the reference instant
      micros(0),
      velmoria::base::Date(seconds(4'102'444'800)),  // 2100
  };
  for (const velmoria::base::Date date : samples) {
    const std::string text = encoder.encodeToString(date);
    EXPECT_EQ(decoder.decode<velmoria::base::Date>(text), date) << text;
  }
  EXPECT_EQ(encoder.encodeToString(micros(978'307'201'500'000)), "1.5");
  // Integers count as numbers; the reference offset applies.
  EXPECT_EQ(decoder.decode<velmoria::base::Date>("10"), velmoria::base::Date(seconds(978'307'210)));

  for (const char* outOfRange : {"1e20", "-1e300", "9.3e9"}) {
    const auto error = decodingError<velmoria::base::Date>(outOfRange, decoder);
    ASSERT_TRUE(error) << outOfRange;
    EXPECT_EQ(error->kind(), velmoria::base::DecodingError::Kind::dataCorrupted);
  }
  EXPECT_EQ(decodingError<velmoria::base::Date>(R"("2024-01-01T00:00:00Z")", decoder)->kind(),
            velmoria::base::DecodingError::Kind::typeMismatch);
}

TEST(SessionCoding, RequiredMembersFailWithTheirKeyAndPath) {
  struct Case {
    const char* name;
    std::string body;
    velmoria::base::DecodingError::Kind kind;
    const char* key;
    const char* path;
  };
  const std::string withoutExpiry =
      R"({"access_token":"a","token_type":"b","expires_in":1,"refresh_token":"r","user":)" + std::string(kServerUser) +
      "}";
  const Case cases[] = {
      {"no expires_at", withoutExpiry, velmoria::base::DecodingError::Kind::keyNotFound, "expiresAt", ""},
      {"null user", serverSession().substr(0, serverSession().find(R"("user":)")) + R"("user":null})",
       velmoria::base::DecodingError::Kind::valueNotFound, nullptr, "user"},
      {"user without aud",
       R"({"access_token":"a","token_type":"b","expires_in":1,"expires_at":2,"refresh_token":"r","user":{"id":"8a0f4c2e-1b7d-4c3a-9e55-0d6b1f2a3c4d","created_at":"2024-01-01T00:00:00Z","updated_at":"2024-01-01T00:00:00Z"}})",
       velmoria::base::DecodingError::Kind::keyNotFound, "aud", "user"},
      {"expires_in as text",
       R"({"access_token":"a","token_type":"b","expires_in":"1","expires_at":2,"refresh_token":"r","user":{}})",
       velmoria::base::DecodingError::Kind::typeMismatch, nullptr, "expiresIn"},
      {"weak password without reasons", serverSession(R"("weak_password":{},)"),
       velmoria::base::DecodingError::Kind::keyNotFound, "reasons", "weakPassword"},
      {"bad identity date",
       serverSession().replace(serverSession().find("2024-01-01T00:00:00.000001Z"), 27, "yesterday"),
       velmoria::base::DecodingError::Kind::dataCorrupted, nullptr, "user.identities[0].lastSignInAt"},
      {"bad factor status", serverSession().replace(serverSession().find(R"("verified")"), 10, R"("VERIFIED")"),
       velmoria::base::DecodingError::Kind::dataCorrupted, nullptr, "user.factors[0].status"},
  };
  for (const Case& c : cases) {
    const auto error = decodingError<Session>(c.body);
    ASSERT_TRUE(error) << c.name;
    EXPECT_EQ(error->kind(), c.kind) << c.name;
    if (c.key) {
      EXPECT_EQ(error->subject(), c.key) << c.name;
    }
    EXPECT_EQ(velmoria::base::describeCodingPath(error->codingPath()), c.path) << c.name;
  }
}

TEST(SessionExpiry, ExpiredWithinThirtySecondsOfItsEnd) {
  const velmoria::base::Date now = micros(1'715'000'000'000'000);
  Session session = wireSession();
  const auto expiresIn = [&](double seconds) {
    session.expiresAt = 1'715'000'000.0 + seconds;
    return session.isExpired(now);
  };
  EXPECT_TRUE(expiresIn(29));
  EXPECT_TRUE(expiresIn(29.999));
  EXPECT_FALSE(expiresIn(30));
  EXPECT_FALSE(expiresIn(31));
  EXPECT_FALSE(expiresIn(3600));
  EXPECT_TRUE(expiresIn(0));
  EXPECT_TRUE(expiresIn(-600));
  session.expiresAt = std::numeric_limits<double>::quiet_NaN();
  EXPECT_FALSE(session.isExpired(now));

  session.expiresAt = velmoria::base::secondsSince1970(system_clock::now()) + 3600;
  EXPECT_FALSE(session.isExpired());
  session.expiresAt = velmoria::base::secondsSince1970(system_clock::now()) + 10;
  EXPECT_TRUE(session.isExpired());
}

TEST(UserCoding, DefaultedFieldsAreFilledAndAlwaysWritten) {
  const auto user = fromWire<User>(
      R"({"id":"8a0f4c2e-1b7d-4c3a-9e55-0d6b1f2a3c4d","aud":"a","created_at":"2024-01-01T00:00:00",
          "updated_at":"2024-01-01T00:00:00","app_metadata":null})");
  EXPECT_TRUE(user.appMetadata.empty());
  EXPECT_TRUE(user.userMetadata.empty());
  EXPECT_FALSE(user.isAnonymous);
  EXPECT_EQ(user.identities, std::nullopt);
  EXPECT_EQ(user.factors, std::nullopt);

  const velmoria::base::Json encoded = wire(user);
  EXPECT_EQ(encoded["app_metadata"], velmoria::base::Json::object());
  EXPECT_EQ(encoded["user_metadata"], velmoria::base::Json::object());
  EXPECT_EQ(encoded["is_anonymous"], false);
  EXPECT_FALSE(encoded.contains("identities"));
  EXPECT_FALSE(encoded.contains("factors"));
  EXPECT_FALSE(encoded.contains("email"));
  EXPECT_EQ(encoded.size(), 7u);
}

TEST(UserCoding, AbsentAndEmptyIdentitiesStayApart) {
  User withEmpty = wireUser();
  User withNone = wireUser();
  withNone.identities = std::nullopt;
  EXPECT_NE(withEmpty, withNone);
  EXPECT_EQ(fromWire<User>(wire(withEmpty).dump()).identities, std::vector<UserIdentity>{});
  EXPECT_EQ(fromWire<User>(wire(withNone).dump()).identities, std::nullopt);
}

TEST(UserCoding, NestedDifferencesMakeSessionsUnequal) {
  Session a = wireSession();
  Session b = wireSession();
  EXPECT_EQ(a, b);
  b.user.lastSignInAt = *b.user.lastSignInAt + milliseconds(1);
  EXPECT_NE(a, b);
  b = a;
  b.weakPassword = WeakPassword{{"characters", "length"}};
  EXPECT_NE(a, b);
}

TEST(UserIdentityCoding, MissingIdentityIdIsTheZeroUUIDAndIsWrittenBack) {
  for (const char* idMember : {"", R"("identity_id":null,)"}) {
    const auto identity =
        fromWire<UserIdentity>(std::string(R"({"id":"google-123",)") + idMember +
                               R"("user_id":"8a0f4c2e-1b7d-4c3a-9e55-0d6b1f2a3c4d","provider":"some-new-provider"})");
    EXPECT_EQ(identity.identityId, velmoria::base::UUID());
    EXPECT_EQ(identity.id, "google-123");
    EXPECT_EQ(identity.provider, "some-new-provider");
    EXPECT_EQ(identity.identityData, std::nullopt);
    const velmoria::base::Json encoded = wire(identity);
    EXPECT_EQ(encoded["identity_id"], "00000000-0000-0000-0000-000000000000");
    EXPECT_FALSE(encoded.contains("identity_data"));
    EXPECT_FALSE(encoded.contains("created_at"));
  }
}

TEST(UserIdentityCoding, RequiredAndMalformedMembersFail) {
  const auto noId =
      decodingError<UserIdentity>(R"({"user_id":"8a0f4c2e-1b7d-4c3a-9e55-0d6b1f2a3c4d","provider":"email"})");
  ASSERT_TRUE(noId);
  EXPECT_EQ(noId->kind(), velmoria::base::DecodingError::Kind::keyNotFound);
  EXPECT_EQ(noId->subject(), "id");

  const auto numericId =
      decodingError<UserIdentity>(R"({"id":7,"user_id":"8a0f4c2e-1b7d-4c3a-9e55-0d6b1f2a3c4d","provider":"email"})");
  ASSERT_TRUE(numericId);
  EXPECT_EQ(numericId->kind(), velmoria::base::DecodingError::Kind::typeMismatch);

  const auto badIdentityId = decodingError<UserIdentity>(
      R"({"id":"x","identity_id":"not-a-uuid","user_id":"8a0f4c2e-1b7d-4c3a-9e55-0d6b1f2a3c4d","provider":"email"})");
  ASSERT_TRUE(badIdentityId);
  EXPECT_EQ(badIdentityId->kind(), velmoria::base::DecodingError::Kind::dataCorrupted);
  EXPECT_EQ(velmoria::base::describeCodingPath(badIdentityId->codingPath()), "identityId");
}

}  // namespace
}  // namespace zirudeze::auth
