#include <functional>

#include <gtest/gtest.h>

#include "AuthTestSupport.hpp"
#include "auth/Credentials.hpp"
#include "auth/MultiFactorTypes.hpp"
#include "auth/OAuthClientTypes.hpp"
#include "auth/OTPTypes.hpp"
#include "auth/ResendAndSSOTypes.hpp"
#include "auth/UserAttributes.hpp"

namespace zirudeze::auth {

namespace {

using namespace testing;

// Only the auth client sets the linking flag; a decoded body is the other way to get one.
OpenIDConnectCredentials linking(const OpenIDConnectCredentials& credentials) {
  velmoria::base::Json body = wire(credentials);
  body["link_identity"] = true;
  return fromWire<OpenIDConnectCredentials>(body.dump());
}

const helpers::JSONObject kMetadata{{"full_name", "Ada"}, {"planTier", 2}};

struct BodyCase {
  const char* name;
  std::function<velmoria::base::Json()> encode;
  const char* expected;
};

// Exactly the members that are set, in snake case, free-form maps as they are.
TEST(RequestBodies, EncodeExactlyTheMembersThatAreSet) {
  const BodyCase cases[] = {
      {"otp e-mail only", [] { return wire(OTPParams{.email = "a@b.c", .createUser = true}); },
       R"({"email":"a@b.c","create_user":true})"},
      {"otp create_user false is written", [] { return wire(OTPParams{.phone = "+1", .createUser = false}); },
       R"({"phone":"+1","create_user":false})"},
      {"otp with captcha and challenge",
       [] {
         return wire(OTPParams{.email = "a@b.c",
                               .createUser = true,
                               .channel = MessagingChannel::whatsapp,
                               .data = kMetadata,
                               .authMetaSecurity = AuthMetaSecurity{"cap"},
                               .codeChallenge = "ch",
                               .codeChallengeMethod = "s256"});
       },
       R"({"email":"a@b.c","create_user":true,"channel":"whatsapp","data":{"full_name":"Ada","planTier":2},
           "auth_meta_security":{"captcha_token":"cap"},"code_challenge":"ch","code_challenge_method":"s256"})"},
      {"verify e-mail",
       [] {
         return wire(VerifyOTPParams{VerifyEmailOTPParams{"a@b.c", "123456", EmailOTPType::magiclink}});
       },
       R"({"email":"a@b.c","token":"123456","type":"magiclink"})"},
      {"verify e-mail change with captcha",
       [] {
         return wire(
             VerifyOTPParams{VerifyEmailOTPParams{"a@b.c", "1", EmailOTPType::emailChange, AuthMetaSecurity{"cap"}}});
       },
       R"({"email":"a@b.c","token":"1","type":"email_change","auth_meta_security":{"captcha_token":"cap"}})"},
      {"verify mobile",
       [] {
         return wire(VerifyOTPParams{VerifyMobileOTPParams{"+1", "9", MobileOTPType::phoneChange}});
       },
       R"({"phone":"+1","token":"9","type":"phone_change"})"},
      {"verify token hash",
       [] {
         return wire(VerifyOTPParams{VerifyTokenHashParams{"h", EmailOTPType::recovery}});
       },
       R"({"token_hash":"h","type":"recovery"})"},
      {"credentials e-mail and password", [] { return wire(UserCredentials{.email = "a@b.c", .password = "pw"}); },
       R"({"email":"a@b.c","password":"pw"})"},
      {"credentials empty", [] { return wire(UserCredentials{}); }, "{}"},
      {"anonymous sign-up",
       [] { return wire(SignUpRequest{.data = kMetadata, .authMetaSecurity = AuthMetaSecurity{"cap"}}); },
       R"({"data":{"full_name":"Ada","planTier":2},"auth_meta_security":{"captcha_token":"cap"}})"},
      {"phone sign-up",
       [] { return wire(SignUpRequest{.password = "pw", .phone = "+1", .channel = MessagingChannel::sms}); },
       R"({"password":"pw","phone":"+1","channel":"sms"})"},
      {"id token", [] { return wire(OpenIDConnectCredentials(OpenIDConnectCredentials::Provider::apple, "idt")); },
       R"({"provider":"apple","id_token":"idt","link_identity":false})"},
      {"id token linking",
       [] {
         return wire(linking(OpenIDConnectCredentials(OpenIDConnectCredentials::Provider::google, "idt", "at", "n")));
       },
       R"({"provider":"google","id_token":"idt","access_token":"at","nonce":"n","link_identity":true})"},
      {"attributes password only", [] { return wire(UserAttributes{.password = "pw"}); }, R"({"password":"pw"})"},
      {"attributes empty data", [] { return wire(UserAttributes{.data = helpers::JSONObject{}}); }, R"({"data":{}})"},
      {"attributes e-mail change in PKCE",
       [] {
         UserAttributes attributes{.email = "n@b.c"};
         attributes.codeChallenge = "ch";
         attributes.codeChallengeMethod = "s256";
         return wire(attributes);
       },
       R"({"email":"n@b.c","code_challenge":"ch","code_challenge_method":"s256"})"},
      {"admin attributes",
       [] {
         return wire(AdminUserAttributes{.appMetadata = kMetadata,
                                         .emailConfirm = false,
                                         .password = "pw",
                                         .passwordHash = "$2a$",
                                         .phoneConfirm = true});
       },
       R"({"app_metadata":{"full_name":"Ada","planTier":2},"email_confirm":false,"password":"pw",
           "password_hash":"$2a$","phone_confirm":true})"},
      {"admin attributes empty", [] { return wire(AdminUserAttributes{}); }, "{}"},
      {"recover e-mail only", [] { return wire(RecoverParams{.email = "a@b.c"}); }, R"({"email":"a@b.c"})"},
      {"resend e-mail change",
       [] {
         return wire(ResendEmailParams{ResendEmailType::emailChange, "a@b.c"});
       },
       R"({"type":"email_change","email":"a@b.c"})"},
      {"resend sms with captcha",
       [] {
         return wire(ResendMobileParams{ResendMobileType::sms, "+1", AuthMetaSecurity{"cap"}});
       },
       R"({"type":"sms","phone":"+1","auth_meta_security":{"captcha_token":"cap"}})"},
      {"delete user hard", [] { return wire(DeleteUserRequest{false}); }, R"({"should_soft_delete":false})"},
      {"sso by domain", [] { return wire(SignInWithSSORequest{.domain = "corp.example"}); },
       R"({"domain":"corp.example"})"},
      {"sso by provider with redirect",
       [] {
         return wire(SignInWithSSORequest{.providerId = "p1",
                                          .redirectTo = velmoria::base::URL::parse("velmoria://callback?x=1&y=2")});
       },
       R"({"provider_id":"p1","redirect_to":"velmoria://callback?x=1&y=2"})"},
      {"totp enrolment bare", [] { return wire(MFAEnrollParamsType(MFAEnrollParamsType::totp())); },
       R"({"factor_type":"totp"})"},
      {"totp enrolment full", [] { return wire(MFAEnrollParamsType(MFAEnrollParamsType::totp("velmoria", "Laptop"))); },
       R"({"factor_type":"totp","issuer":"velmoria","friendly_name":"Laptop"})"},
      {"phone enrolment", [] { return wire(MFAEnrollParamsType(MFAEnrollParamsType::phone(std::nullopt, "+1"))); },
       R"({"factor_type":"phone","phone":"+1"})"},
      {"challenge without channel", [] { return wire(MFAChallengeParams{"f1"}); }, R"({"factor_id":"f1"})"},
      {"challenge by whatsapp",
       [] {
         return wire(MFAChallengeParams{"f1", MessagingChannel::whatsapp});
       },
       R"({"factor_id":"f1","channel":"whatsapp"})"},
      {"verify factor",
       [] {
         return wire(MFAVerifyParams{"f1", "c1", "123"});
       },
       R"({"factor_id":"f1","challenge_id":"c1","code":"123"})"},
      {"challenge and verify",
       [] {
         return wire(MFAChallengeAndVerifyParams{"f1", "123"});
       },
       R"({"factor_id":"f1","code":"123"})"},
      {"unenrol", [] { return wire(MFAUnenrollParams{"f1"}); }, R"({"factor_id":"f1"})"},
      {"oauth client create minimal", [] { return wire(CreateOAuthClientParams{.clientName = "cli"}); },
       R"({"client_name":"cli","redirect_uris":[]})"},
      {"oauth client create full",
       [] {
         return wire(CreateOAuthClientParams{
             "cli",
             "https://c.example",
             {"https://c.example/cb"},
             std::vector<OAuthClientGrantType>{OAuthClientGrantType::authorizationCode, "device_code"},
             std::vector<OAuthClientResponseType>{OAuthClientResponseType::code},
             "openid"});
       },
       R"({"client_name":"cli","client_uri":"https://c.example","redirect_uris":["https://c.example/cb"],
           "grant_types":["authorization_code","device_code"],"response_types":["code"],"scope":"openid"})"},
      {"oauth client update empty", [] { return wire(UpdateOAuthClientParams{}); }, "{}"},
      {"oauth client update name", [] { return wire(UpdateOAuthClientParams{.clientName = "new"}); },
       R"({"client_name":"new"})"},
  };
  for (const BodyCase& c : cases) {
    const velmoria::base::Json encoded = c.encode();
    EXPECT_EQ(encoded, json(c.expected)) << c.name << ": " << encoded.dump();
  }
}

// Bodies that are read as well as written come back equal through both coders.
template <class T>
void expectRoundTrip(const char* name, const T& value) {
  EXPECT_EQ(AuthJSONCoders::decoder().decode<T>(AuthJSONCoders::encoder().encodeToString(value)), value) << name;
  EXPECT_EQ(StoredSessionCoders::decoder().decode<T>(StoredSessionCoders::encoder().encodeToString(value)), value)
      << name;
}

TEST(RequestBodies, DecodableBodiesRoundTrip) {
  expectRoundTrip("captcha", AuthMetaSecurity{"cap"});
  expectRoundTrip("otp minimal", OTPParams{.createUser = false});
  expectRoundTrip("otp full", OTPParams{"a@b.c", "+1", true, MessagingChannel::sms, kMetadata, AuthMetaSecurity{"cap"},
                                        "ch", "plain"});
  expectRoundTrip("credentials empty", UserCredentials{});
  expectRoundTrip("credentials full", UserCredentials{"a@b.c", "pw", "+1", "rt", AuthMetaSecurity{"c"}});
  expectRoundTrip("sign-up empty", SignUpRequest{});
  expectRoundTrip("sign-up full", SignUpRequest{"a@b.c", "pw", "+1", MessagingChannel::whatsapp, kMetadata,
                                                AuthMetaSecurity{"c"}, "ch", "s256"});
  expectRoundTrip("id token", OpenIDConnectCredentials(OpenIDConnectCredentials::Provider::facebook, "idt", "at", "n",
                                                       AuthMetaSecurity{"c"}));
  expectRoundTrip("id token linking",
                  linking(OpenIDConnectCredentials(OpenIDConnectCredentials::Provider::azure, "idt")));
  expectRoundTrip("attributes empty", UserAttributes{});
  expectRoundTrip("attributes full", UserAttributes{"a@b.c", "+1", "pw", "n", "tok", kMetadata, "ch", "s256"});
  expectRoundTrip("recover", RecoverParams{"a@b.c", AuthMetaSecurity{"c"}, "ch", "s256"});
  expectRoundTrip("sso answer", SSOResponse{*velmoria::base::URL::parse("https://sso.example/start?rid=1")});
  expectRoundTrip("oauth answer",
                  OAuthResponse{Provider::slackOIDC, *velmoria::base::URL::parse("https://auth.example/authorize")});
}

TEST(RequestBodies, RequiredMembersOfDecodableBodies) {
  const auto noCreateUser = decodingError<OTPParams>(R"({"email":"a@b.c"})");
  ASSERT_TRUE(noCreateUser);
  EXPECT_EQ(noCreateUser->kind(), velmoria::base::DecodingError::Kind::keyNotFound);
  EXPECT_EQ(noCreateUser->subject(), "createUser");
  EXPECT_EQ(decodingError<OTPParams>(R"({"create_user":"yes"})")->kind(),
            velmoria::base::DecodingError::Kind::typeMismatch);
  EXPECT_EQ(decodingError<OTPParams>(R"({"create_user":true,"channel":"telegram"})")->kind(),
            velmoria::base::DecodingError::Kind::dataCorrupted);
  const auto nestedCaptcha = decodingError<OTPParams>(R"({"create_user":true,"auth_meta_security":{}})");
  ASSERT_TRUE(nestedCaptcha);
  EXPECT_EQ(velmoria::base::describeCodingPath(nestedCaptcha->codingPath()), "authMetaSecurity");

  EXPECT_EQ(decodingError<OpenIDConnectCredentials>(R"({"provider":"apple","id_token":"t"})")->subject(),
            "linkIdentity");
  EXPECT_EQ(
      decodingError<OpenIDConnectCredentials>(R"({"provider":"apple","id_token":null,"link_identity":true})")->kind(),
      velmoria::base::DecodingError::Kind::valueNotFound);
  EXPECT_EQ(
      decodingError<OpenIDConnectCredentials>(R"({"provider":"github","id_token":"t","link_identity":true})")->kind(),
      velmoria::base::DecodingError::Kind::dataCorrupted);
  EXPECT_EQ(decodingError<RecoverParams>(R"({"code_challenge":"c"})")->subject(), "email");
  EXPECT_EQ(decodingError<SSOResponse>(R"({"url":"not an address"})")->kind(),
            velmoria::base::DecodingError::Kind::dataCorrupted);
  EXPECT_EQ(decodingError<OAuthResponse>(R"({"provider":"myspace","url":"https://a.example"})")->kind(),
            velmoria::base::DecodingError::Kind::dataCorrupted);
  EXPECT_EQ(decodingError<OAuthResponse>(R"({"provider":"github"})")->subject(), "url");

  // Every member of these two may be missing or null.
  EXPECT_EQ(fromWire<UserCredentials>(R"({"email":null,"password":null})"), UserCredentials{});
  EXPECT_EQ(fromWire<SignUpRequest>(R"({"channel":null,"data":null})"), SignUpRequest{});
}

TEST(RequestBodies, EqualityCoversOptionalPresence) {
  EXPECT_NE(SignUpRequest{}, SignUpRequest{.channel = MessagingChannel::sms});
  EXPECT_NE(UserAttributes{.data = helpers::JSONObject{}}, UserAttributes{});
  const auto plain = OpenIDConnectCredentials(OpenIDConnectCredentials::Provider::apple, "t");
  EXPECT_FALSE(plain.linkIdentity());
  EXPECT_NE(plain, linking(plain));
  EXPECT_EQ(fromWire<ResendMobileResponse>(R"({"message_id":null})"), fromWire<ResendMobileResponse>("{}"));
  EXPECT_EQ(fromWire<ResendMobileResponse>(R"({"message_id":"m1"})").messageId, "m1");
}

}  // namespace
}  // namespace zirudeze::auth
