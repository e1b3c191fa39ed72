#include <gtest/gtest.h>

#include "AuthTestSupport.hpp"
#include "auth/AuthEnumerations.hpp"
#include "auth/Credentials.hpp"
#include "auth/MultiFactorTypes.hpp"

namespace zirudeze::auth {
namespace {

using namespace testing;

template <class E>
void expectTexts(std::initializer_list<std::pair<E, std::string_view>> expected) {
  std::size_t count = 0;
  for (const auto& [value, text] : expected) {
    EXPECT_EQ(rawValue(value), text);
    EXPECT_EQ(fromRawValue<E>(text), value) << text;
    ++count;
  }
  EXPECT_EQ(std::size(RawValueTable<E>::entries), count);
}

TEST(AuthEnumerations, EveryCaseHasItsExactTextBothWays) {
  expectTexts<AuthChangeEvent>({{AuthChangeEvent::initialSession, "INITIAL_SESSION"},
                                {AuthChangeEvent::passwordRecovery, "PASSWORD_RECOVERY"},
                                {AuthChangeEvent::signedIn, "SIGNED_IN"},
                                {AuthChangeEvent::signedOut, "SIGNED_OUT"},
                                {AuthChangeEvent::tokenRefreshed, "TOKEN_REFRESHED"},
                                {AuthChangeEvent::userUpdated, "USER_UPDATED"},
                                {AuthChangeEvent::userDeleted, "USER_DELETED"},
                                {AuthChangeEvent::mfaChallengeVerified, "MFA_CHALLENGE_VERIFIED"}});
  expectTexts<SignOutScope>(
      {{SignOutScope::global, "global"}, {SignOutScope::local, "local"}, {SignOutScope::others, "others"}});
  expectTexts<EmailOTPType>({{EmailOTPType::signup, "signup"},
                             {EmailOTPType::invite, "invite"},
                             {EmailOTPType::magiclink, "magiclink"},
                             {EmailOTPType::recovery, "recovery"},
                             {EmailOTPType::emailChange, "email_change"},
                             {EmailOTPType::email, "email"}});
  expectTexts<MobileOTPType>({{MobileOTPType::sms, "sms"}, {MobileOTPType::phoneChange, "phone_change"}});
  expectTexts<ResendEmailType>({{ResendEmailType::signup, "signup"}, {ResendEmailType::emailChange, "email_change"}});
  expectTexts<ResendMobileType>({{ResendMobileType::sms, "sms"}, {ResendMobileType::phoneChange, "phone_change"}});
  expectTexts<MessagingChannel>({{MessagingChannel::sms, "sms"}, {MessagingChannel::whatsapp, "whatsapp"}});
  expectTexts<FactorStatus>({{FactorStatus::verified, "verified"}, {FactorStatus::unverified, "unverified"}});
  expectTexts<OpenIDConnectCredentials::Provider>({{OpenIDConnectCredentials::Provider::google, "google"},
                                                   {OpenIDConnectCredentials::Provider::apple, "apple"},
                                                   {OpenIDConnectCredentials::Provider::azure, "azure"},
                                                   {OpenIDConnectCredentials::Provider::facebook, "facebook"}});
}

TEST(AuthEnumerations, TextMatchingIsExactAndCaseSensitive) {
  EXPECT_EQ(fromRawValue<AuthChangeEvent>("signed_in"), std::nullopt);
  EXPECT_EQ(fromRawValue<AuthChangeEvent>("SIGNED_IN "), std::nullopt);
  EXPECT_EQ(fromRawValue<SignOutScope>("Global"), std::nullopt);
  EXPECT_EQ(fromRawValue<SignOutScope>(""), std::nullopt);
  EXPECT_EQ(fromRawValue<EmailOTPType>("emailChange"), std::nullopt);
  EXPECT_EQ(fromRawValue<Provider>("linkedinOIDC"), std::nullopt);
  EXPECT_EQ(fromRawValue<Provider>("linkedin_oidc"), Provider::linkedinOIDC);
  EXPECT_EQ(fromRawValue<Provider>("slack_oidc"), Provider::slackOIDC);
  EXPECT_EQ(fromRawValue<OpenIDConnectCredentials::Provider>("Google"), std::nullopt);
}

TEST(AuthEnumerations, EncodedAsTheirRawTextNotTheCaseName) {
  EXPECT_EQ(wire(EmailOTPType::emailChange), "email_change");
  EXPECT_EQ(wire(MobileOTPType::phoneChange), "phone_change");
  EXPECT_EQ(wire(ResendEmailType::emailChange), "email_change");
  EXPECT_EQ(wire(ResendMobileType::phoneChange), "phone_change");
  EXPECT_EQ(wire(Provider::linkedinOIDC), "linkedin_oidc");
}

TEST(AuthEnumerations, DecodingRefusesTextsThatAreNoRawValue) {
  EXPECT_EQ(fromWire<MessagingChannel>(R"("whatsapp")"), MessagingChannel::whatsapp);
  const auto capitalised = decodingError<MessagingChannel>(R"("Whatsapp")");
  ASSERT_TRUE(capitalised);
  EXPECT_EQ(capitalised->kind(), velmoria::base::DecodingError::Kind::dataCorrupted);
  EXPECT_EQ(capitalised->debugDescription(), "Cannot initialize MessagingChannel from invalid String value Whatsapp");

  const auto status = decodingError<FactorStatus>(R"("VERIFIED")");
  ASSERT_TRUE(status);
  EXPECT_EQ(status->kind(), velmoria::base::DecodingError::Kind::dataCorrupted);

  const auto notText = decodingError<Provider>("3");
  ASSERT_TRUE(notText);
  EXPECT_EQ(notText->kind(), velmoria::base::DecodingError::Kind::typeMismatch);
  EXPECT_EQ(fromWire<OpenIDConnectCredentials::Provider>(R"("azure")"), OpenIDConnectCredentials::Provider::azure);
}

TEST(AuthEnumerations, EnumerableSetsListTheirCasesInOrder) {
  const auto& emailTypes = allCases<EmailOTPType>();
  ASSERT_EQ(emailTypes.size(), 6u);
  EXPECT_EQ(emailTypes.front(), EmailOTPType::signup);
  EXPECT_EQ(emailTypes.back(), EmailOTPType::email);

  const auto& providers = allCases<Provider>();
  ASSERT_EQ(providers.size(), 24u);
  EXPECT_EQ(providers[0], Provider::apple);
  EXPECT_EQ(providers[22], Provider::zoom);
  EXPECT_EQ(providers[23], Provider::fly);
  for (std::size_t i = 0; i < providers.size(); ++i) EXPECT_EQ(static_cast<std::size_t>(providers[i]), i);
}

// Sets without a JSON form of their own must not pick one up by accident.
static_assert(!CodedRawValueEnum<AuthChangeEvent>);
static_assert(!CodedRawValueEnum<SignOutScope>);
static_assert(CodedRawValueEnum<EmailOTPType>);
template <class E>
concept Decodable = requires(const velmoria::base::Decoder& d) {
  velmoria::base::Coding<E>::decode(d);
};
static_assert(!Decodable<EmailOTPType>);
static_assert(Decodable<MessagingChannel>);

}  // namespace
}  // namespace zirudeze::auth
