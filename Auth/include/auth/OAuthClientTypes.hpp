#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Date.hpp"
#include "base/UUID.hpp"
#include "base/coding/Decoder.hpp"
#include "base/coding/Encoder.hpp"

namespace zirudeze::auth {

// Open text kinds of the OAuth-client registry: any text is a value, so kinds the server adds later
// pass through unchanged. Coded as the bare text.
struct OAuthClientGrantType {
  std::string rawValue{};
  OAuthClientGrantType(std::string text) : rawValue(std::move(text)) {}
  OAuthClientGrantType(const char* text) : rawValue(text) {}
  static const OAuthClientGrantType authorizationCode;
  static const OAuthClientGrantType refreshToken;
  bool operator==(const OAuthClientGrantType&) const = default;
};

struct OAuthClientResponseType {
  std::string rawValue{};
  OAuthClientResponseType(std::string text) : rawValue(std::move(text)) {}
  OAuthClientResponseType(const char* text) : rawValue(text) {}
  static const OAuthClientResponseType code;
  bool operator==(const OAuthClientResponseType&) const = default;
};

struct OAuthClientType {
  std::string rawValue{};
  OAuthClientType(std::string text) : rawValue(std::move(text)) {}
  OAuthClientType(const char* text) : rawValue(text) {}
  static const OAuthClientType public_;
  static const OAuthClientType confidential;
  bool operator==(const OAuthClientType&) const = default;
};

struct OAuthClientRegistrationType {
  std::string rawValue{};
  OAuthClientRegistrationType(std::string text) : rawValue(std::move(text)) {}
  OAuthClientRegistrationType(const char* text) : rawValue(text) {}
  static const OAuthClientRegistrationType dynamic;
  static const OAuthClientRegistrationType manual;
  bool operator==(const OAuthClientRegistrationType&) const = default;
};

inline const OAuthClientGrantType OAuthClientGrantType::authorizationCode{"authorization_code"};
inline const OAuthClientGrantType OAuthClientGrantType::refreshToken{"refresh_token"};
inline const OAuthClientResponseType OAuthClientResponseType::code{"code"};
inline const OAuthClientType OAuthClientType::public_{"public"};
inline const OAuthClientType OAuthClientType::confidential{"confidential"};
inline const OAuthClientRegistrationType OAuthClientRegistrationType::dynamic{"dynamic"};
inline const OAuthClientRegistrationType OAuthClientRegistrationType::manual{"manual"};

template <class T>
concept OpenTextKind = std::is_same_v<T, OAuthClientGrantType> || std::is_same_v<T, OAuthClientResponseType> ||
    std::is_same_v<T, OAuthClientType> || std::is_same_v<T, OAuthClientRegistrationType>;

// A client registered with the auth server.
struct OAuthClient {
  velmoria::base::UUID clientId{};
  std::string clientName{};
  std::optional<std::string> clientSecret{};
  OAuthClientType clientType{std::string()};
  std::string tokenEndpointAuthMethod{};
  OAuthClientRegistrationType registrationType{std::string()};
  std::optional<std::string> clientUri{};
  std::optional<std::string> logoUri{};
  std::vector<std::string> redirectUris{};
  std::vector<OAuthClientGrantType> grantTypes{};
  std::vector<OAuthClientResponseType> responseTypes{};
  std::optional<std::string> scope{};
  velmoria::base::Date createdAt{};
  velmoria::base::Date updatedAt{};

  void encode(velmoria::base::Encoder& encoder) const;
  static OAuthClient decode(const velmoria::base::Decoder& decoder);
  bool operator==(const OAuthClient&) const = default;
};

struct CreateOAuthClientParams {
  std::string clientName{};
  std::optional<std::string> clientUri{};
  std::vector<std::string> redirectUris{};
  std::optional<std::vector<OAuthClientGrantType>> grantTypes{};
  std::optional<std::vector<OAuthClientResponseType>> responseTypes{};
  std::optional<std::string> scope{};

  void encode(velmoria::base::Encoder& encoder) const;
  bool operator==(const CreateOAuthClientParams&) const = default;
};

// Only the fields that are set are sent.
struct UpdateOAuthClientParams {
  std::optional<std::string> clientName{};
  std::optional<std::string> clientUri{};
  std::optional<std::string> logoUri{};
  std::optional<std::vector<std::string>> redirectUris{};
  std::optional<std::vector<OAuthClientGrantType>> grantTypes{};

  void encode(velmoria::base::Encoder& encoder) const;
  bool operator==(const UpdateOAuthClientParams&) const = default;
};

struct ListOAuthClientsPaginatedResponse {
  std::vector<OAuthClient> clients{};
  std::string aud{};
  std::optional<std::int64_t> nextPage{};
  std::int64_t lastPage = 0;
  std::int64_t total = 0;

  bool operator==(const ListOAuthClientsPaginatedResponse&) const = default;
};

}  // namespace zirudeze::auth

template <zirudeze::auth::OpenTextKind T>
struct velmoria::base::Coding<T> {
  static void encode(const T& value, velmoria::base::Encoder& encoder) { encoder.json() = value.rawValue; }
  static T decode(const velmoria::base::Decoder& decoder) { return T(decoder.requireString()); }
};

template <zirudeze::auth::OpenTextKind T>
struct std::hash<T> {
  std::size_t operator()(const T& value) const noexcept { return std::hash<std::string>{}(value.rawValue); }
};
