#pragma once

#include <optional>
#include <variant>

#include "auth/Session.hpp"
#include "auth/User.hpp"
#include "base/coding/Decoder.hpp"
#include "base/coding/Encoder.hpp"

namespace zirudeze::auth {

// The answer of the verify and sign-up endpoints: a whole session, or only the user when the service
// wants a confirmation first.
class AuthResponse {
 public:
  AuthResponse(Session session) : value_(std::move(session)) {}
  AuthResponse(User user) : value_(std::move(user)) {}

  bool isSession() const { return std::holds_alternative<Session>(value_); }
  // The session of the session form; nothing for the user form.
  std::optional<Session> session() const;
  // The user of either form.
  const User& user() const;

  const std::variant<Session, User>& value() const { return value_; }

  void encode(velmoria::base::Encoder& encoder) const;
  // A session when the body reads as one, else a user, else data corrupted.
  static AuthResponse decode(const velmoria::base::Decoder& decoder);
  bool operator==(const AuthResponse&) const = default;

 private:
  std::variant<Session, User> value_;
};

}  // namespace zirudeze::auth
