#pragma once

#include <optional>
#include <string>
#include <vector>

#include "auth/User.hpp"
#include "base/Date.hpp"
#include "base/coding/Decoder.hpp"
#include "base/coding/Encoder.hpp"

namespace zirudeze::auth {

// Sent along with a session when the service accepted a password it considers weak.
struct WeakPassword {
  std::vector<std::string> reasons{};

  void encode(velmoria::base::Encoder& encoder) const;
  static WeakPassword decode(const velmoria::base::Decoder& decoder);
  bool operator==(const WeakPassword&) const = default;
};

// A signed-in user's tokens and their lifetime.
struct Session {
  // A session this close to its end counts as expired, so it is refreshed before requests fail.
  static constexpr double kExpiryMarginSeconds = 30.0;

  std::optional<std::string> providerToken{};
  std::optional<std::string> providerRefreshToken{};
  std::string accessToken{};
  std::string tokenType{};
  // Seconds of lifetime, and the end as seconds since 1970-01-01 UTC: plain numbers, not dates.
  double expiresIn = 0;
  double expiresAt = 0;
  std::string refreshToken{};
  std::optional<WeakPassword> weakPassword{};
  User user;

  // Fewer than 30 seconds left (or already past). A NaN end never expires.
  bool isExpired() const;
  bool isExpired(velmoria::base::Date now) const;

  void encode(velmoria::base::Encoder& encoder) const;
  static Session decode(const velmoria::base::Decoder& decoder);
  bool operator==(const Session&) const = default;
};

}  // namespace zirudeze::auth
