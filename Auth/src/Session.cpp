#include "auth/Session.hpp"

#include <chrono>

#include "base/coding/Coding.hpp"

namespace zirudeze::auth {

void WeakPassword::encode(velmoria::base::Encoder& encoder) const {
  auto c = encoder.container();
  c.encode("reasons", reasons);
}

WeakPassword WeakPassword::decode(const velmoria::base::Decoder& decoder) {
  const auto c = decoder.container();
  return {c.decode<std::vector<std::string>>("reasons")};
}

bool Session::isExpired() const { return isExpired(std::chrono::system_clock::now()); }

bool Session::isExpired(velmoria::base::Date now) const {
  const double remaining = expiresAt - velmoria::base::secondsSince1970(now);
  // A NaN comparison is false, so a NaN end is never expired.
  return remaining < kExpiryMarginSeconds;
}

void Session::encode(velmoria::base::Encoder& encoder) const {
  auto c = encoder.container();
  c.encodeIfPresent("providerToken", providerToken);
  c.encodeIfPresent("providerRefreshToken", providerRefreshToken);
  c.encode("accessToken", accessToken);
  c.encode("tokenType", tokenType);
  c.encode("expiresIn", expiresIn);
  c.encode("expiresAt", expiresAt);
  c.encode("refreshToken", refreshToken);
  c.encodeIfPresent("weakPassword", weakPassword);
  c.encode("user", user);
}

Session Session::decode(const velmoria::base::Decoder& decoder) {
  const auto c = decoder.container();
  Session session;
  session.providerToken = c.decodeIfPresent<std::string>("providerToken");
  session.providerRefreshToken = c.decodeIfPresent<std::string>("providerRefreshToken");
  session.accessToken = c.decode<std::string>("accessToken");
  session.tokenType = c.decode<std::string>("tokenType");
  session.expiresIn = c.decode<double>("expiresIn");
  session.expiresAt = c.decode<double>("expiresAt");
  session.refreshToken = c.decode<std::string>("refreshToken");
  session.weakPassword = c.decodeIfPresent<WeakPassword>("weakPassword");
  session.user = c.decode<User>("user");
  return session;
}

}  // namespace zirudeze::auth
