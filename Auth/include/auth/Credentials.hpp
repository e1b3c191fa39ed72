#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "auth/AuthEnumerations.hpp"
#include "auth/OTPTypes.hpp"
#include "base/coding/Decoder.hpp"
#include "base/coding/Encoder.hpp"
#include "helpers/AnyJSON.hpp"

namespace zirudeze::auth {

// The OAuth providers the authorisation address, identity linking and OAuth answers name.
enum class Provider {
  apple,
  azure,
  bitbucket,
  discord,
  email,
  facebook,
  figma,
  github,
  gitlab,
  google,
  kakao,
  keycloak,
  linkedin,
  linkedinOIDC,
  notion,
  slack,
  slackOIDC,
  spotify,
  twitch,
  twitter,
  x,
  workos,
  zoom,
  fly,
};

template <>
struct RawValueTable<Provider> {
  static constexpr std::string_view typeName = "Provider";
  static constexpr RawValueCoding coding = RawValueCoding::encodeAndDecode;
  static constexpr std::pair<Provider, std::string_view> entries[] = {
      {Provider::apple, "apple"},
      {Provider::azure, "azure"},
      {Provider::bitbucket, "bitbucket"},
      {Provider::discord, "discord"},
      {Provider::email, "email"},
      {Provider::facebook, "facebook"},
      {Provider::figma, "figma"},
      {Provider::github, "github"},
      {Provider::gitlab, "gitlab"},
      {Provider::google, "google"},
      {Provider::kakao, "kakao"},
      {Provider::keycloak, "keycloak"},
      {Provider::linkedin, "linkedin"},
      {Provider::linkedinOIDC, "linkedin_oidc"},
      {Provider::notion, "notion"},
      {Provider::slack, "slack"},
      {Provider::slackOIDC, "slack_oidc"},
      {Provider::spotify, "spotify"},
      {Provider::twitch, "twitch"},
      {Provider::twitter, "twitter"},
      {Provider::x, "x"},
      {Provider::workos, "workos"},
      {Provider::zoom, "zoom"},
      {Provider::fly, "fly"},
  };
  static constexpr auto allCases = [] {
    std::array<Provider, std::size(entries)> cases{};
    for (std::size_t i = 0; i < cases.size(); ++i) cases[i] = entries[i].first;
    return cases;
  }();
};

// Password sign-in by e-mail or phone.
struct UserCredentials {
  std::optional<std::string> email{};
  std::optional<std::string> password{};
  std::optional<std::string> phone{};
  std::optional<std::string> refreshToken{};
  std::optional<AuthMetaSecurity> authMetaSecurity{};

  void encode(velmoria::base::Encoder& encoder) const;
  static UserCredentials decode(const velmoria::base::Decoder& decoder);
  bool operator==(const UserCredentials&) const = default;
};

// Sign-up by e-mail or phone, and anonymous sign-in (only data and captcha).
struct SignUpRequest {
  std::optional<std::string> email{};
  std::optional<std::string> password{};
  std::optional<std::string> phone{};
  std::optional<MessagingChannel> channel{};
  std::optional<helpers::JSONObject> data{};
  std::optional<AuthMetaSecurity> authMetaSecurity{};
  std::optional<std::string> codeChallenge{};
  std::optional<std::string> codeChallengeMethod{};

  void encode(velmoria::base::Encoder& encoder) const;
  static SignUpRequest decode(const velmoria::base::Decoder& decoder);
  bool operator==(const SignUpRequest&) const = default;
};

class AuthClient;

// Sign-in, or identity linking, with an identity provider's ID token.
class OpenIDConnectCredentials {
 public:
  // The providers whose ID tokens the service accepts.
  enum class Provider { google, apple, azure, facebook };

  OpenIDConnectCredentials(Provider provider, std::string idToken,
                           std::optional<std::string> accessToken = std::nullopt,
                           std::optional<std::string> nonce = std::nullopt,
                           std::optional<AuthMetaSecurity> authMetaSecurity = std::nullopt)
      : provider(provider),
        idToken(std::move(idToken)),
        accessToken(std::move(accessToken)),
        nonce(std::move(nonce)),
        authMetaSecurity(std::move(authMetaSecurity)) {}

  Provider provider;
  std::string idToken{};
  std::optional<std::string> accessToken{};
  std::optional<std::string> nonce{};
  std::optional<AuthMetaSecurity> authMetaSecurity{};

  // Set only by the auth client's identity-linking operation.
  bool linkIdentity() const { return linkIdentity_; }

  void encode(velmoria::base::Encoder& encoder) const;
  static OpenIDConnectCredentials decode(const velmoria::base::Decoder& decoder);
  bool operator==(const OpenIDConnectCredentials&) const = default;

 private:
  friend class AuthClient;
  bool linkIdentity_ = false;
};

template <>
struct RawValueTable<OpenIDConnectCredentials::Provider> {
  using P = OpenIDConnectCredentials::Provider;
  static constexpr std::string_view typeName = "Provider";
  static constexpr RawValueCoding coding = RawValueCoding::encodeAndDecode;
  static constexpr std::pair<P, std::string_view> entries[] = {
      {P::google, "google"},
      {P::apple, "apple"},
      {P::azure, "azure"},
      {P::facebook, "facebook"},
  };
};

}  // namespace zirudeze::auth
