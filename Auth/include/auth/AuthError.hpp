#pragma once

#include <exception>
#include <optional>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "auth/ErrorCode.hpp"
#include "auth/Session.hpp"
#include "base/Data.hpp"
#include "base/coding/Decoder.hpp"
#include "base/coding/Encoder.hpp"
#include "helpers/URLResponse.hpp"

namespace zirudeze::auth {

// Every failure the auth client reports. One exception type; its case is a variant. what() and
// errorDescription() are the message.
class AuthError : public std::exception {
 public:
  struct WeakPasswordCase {
    std::string message;
    std::vector<std::string> reasons;
    friend bool operator==(const WeakPasswordCase&, const WeakPasswordCase&) = default;
  };
  struct APICase {
    std::string message;
    ErrorCode errorCode;
    velmoria::base::Data underlyingData;
    helpers::HTTPURLResponse underlyingResponse;
    // The response compares by its status, URL, header fields, announced length and type.
    friend bool operator==(const APICase& lhs, const APICase& rhs);
  };
  struct PKCEGrantCodeExchangeCase {
    std::string message;
    std::optional<std::string> error;
    std::optional<std::string> code;
    friend bool operator==(const PKCEGrantCodeExchangeCase&, const PKCEGrantCodeExchangeCase&) = default;
  };
  struct ImplicitGrantRedirectCase {
    std::string message;
    friend bool operator==(const ImplicitGrantRedirectCase&, const ImplicitGrantRedirectCase&) = default;
  };
  struct JWTVerificationFailedCase {
    std::string message;
    friend bool operator==(const JWTVerificationFailedCase&, const JWTVerificationFailedCase&) = default;
  };
  // An access token without a numeric "exp" claim, given to setSession.
  struct MissingExpClaimCase {
    friend bool operator==(const MissingExpClaimCase&, const MissingExpClaimCase&) = default;
  };
  // Kept for callers that match on them; the client itself never produces these three.
  struct MalformedJWTCase {
    friend bool operator==(const MalformedJWTCase&, const MalformedJWTCase&) = default;
  };
  struct MissingURLCase {
    friend bool operator==(const MissingURLCase&, const MissingURLCase&) = default;
  };
  struct InvalidRedirectSchemeCase {
    friend bool operator==(const InvalidRedirectSchemeCase&, const InvalidRedirectSchemeCase&) = default;
  };
  struct SessionMissingCase {
    friend bool operator==(const SessionMissingCase&, const SessionMissingCase&) = default;
  };

  using Case = std::variant<WeakPasswordCase, APICase, PKCEGrantCodeExchangeCase, ImplicitGrantRedirectCase,
                            JWTVerificationFailedCase, MissingExpClaimCase, MalformedJWTCase, MissingURLCase,
                            InvalidRedirectSchemeCase, SessionMissingCase>;

  enum class PKCEFailureReason { codeVerifierNotFound, invalidPKCEFlowURL };

  // The service's older error body: every member may be absent; `code` is an HTTP status. Written and
  // read through the coder's key strategy ("msg", "code", "error", "errorDescription", "weakPassword").
  struct APIError : std::exception {
    std::optional<std::string> msg;
    std::optional<int> code;
    std::optional<std::string> error;
    std::optional<std::string> errorDescription;
    std::optional<WeakPassword> weakPassword;

    APIError() = default;
    APIError(std::optional<std::string> msg, std::optional<int> code, std::optional<std::string> error = std::nullopt,
             std::optional<std::string> errorDescription = std::nullopt,
             std::optional<WeakPassword> weakPassword = std::nullopt);

    // The first present of msg, error and errorDescription, else "Unexpected API error.".
    std::string message() const;
    const char* what() const noexcept override { return "The auth service answered with an error."; }

    void encode(velmoria::base::Encoder& encoder) const;
    static APIError decode(const velmoria::base::Decoder& decoder);
    friend bool operator==(const APIError& lhs, const APIError& rhs);
  };

  explicit AuthError(Case value);

  static AuthError weakPassword(std::string message, std::vector<std::string> reasons);
  static AuthError api(std::string message, ErrorCode errorCode, velmoria::base::Data underlyingData,
                       helpers::HTTPURLResponse underlyingResponse);
  static AuthError pkceGrantCodeExchange(std::string message, std::optional<std::string> error = std::nullopt,
                                         std::optional<std::string> code = std::nullopt);
  static AuthError implicitGrantRedirect(std::string message);
  static AuthError jwtVerificationFailed(std::string message);
  static AuthError missingExpClaim() { return AuthError(MissingExpClaimCase{}); }
  static AuthError malformedJWT() { return AuthError(MalformedJWTCase{}); }
  static AuthError missingURL() { return AuthError(MissingURLCase{}); }
  static AuthError invalidRedirectScheme() { return AuthError(InvalidRedirectSchemeCase{}); }
  static AuthError sessionMissing() { return AuthError(SessionMissingCase{}); }

  // Builders kept for older callers.
  static AuthError sessionNotFound() { return sessionMissing(); }
  static AuthError pkce(PKCEFailureReason reason);
  static AuthError invalidImplicitGrantFlowURL();
  // weakPassword when the body has one; otherwise api with code "unknown", the body written with the auth
  // encoder as data (none if it cannot be written) and a response of the local development URL with the
  // body's status, or 500.
  static AuthError api(const APIError& error);

  const Case& value() const noexcept { return value_; }
  template <class C>
  const C* as() const noexcept {
    return std::get_if<C>(&value_);
  }
  template <class C>
  bool is() const noexcept {
    return std::holds_alternative<C>(value_);
  }

  const std::string& message() const noexcept { return message_; }
  const std::string& errorDescription() const noexcept { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }
  ErrorCode errorCode() const;

  friend bool operator==(const AuthError& lhs, const AuthError& rhs) { return lhs.value_ == rhs.value_; }

  // True when `error` is an AuthError equal to `pattern`.
  static bool matches(const std::exception& error, const AuthError& pattern);
  static bool matches(const std::exception_ptr& error, const AuthError& pattern);

 private:
  Case value_;
  std::string message_;
};

}  // namespace zirudeze::auth
