#include "auth/AuthResponse.hpp"

#include "base/coding/Coding.hpp"

namespace zirudeze::auth {

std::optional<Session> AuthResponse::session() const {
  if (const Session* session = std::get_if<Session>(&value_)) return *session;
  return std::nullopt;
}

const User& AuthResponse::user() const {
  if (const Session* session = std::get_if<Session>(&value_)) return session->user;
  return std::get<User>(value_);
}

void AuthResponse::encode(velmoria::base::Encoder& encoder) const {
  std::visit([&](const auto& payload) { payload.encode(encoder); }, value_);
}

AuthResponse AuthResponse::decode(const velmoria::base::Decoder& decoder) {
  try {
    return Session::decode(decoder);
  } catch (const velmoria::base::DecodingError&) {
  }
  try {
    return User::decode(decoder);
  } catch (const velmoria::base::DecodingError&) {
  }
  throw decoder.dataCorrupted("Data could not be decoded as any of the expected types (Session, User).");
}

}  // namespace zirudeze::auth
