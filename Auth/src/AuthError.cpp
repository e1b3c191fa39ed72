#include "auth/AuthError.hpp"

#include <utility>

#include "auth/AuthClientConfiguration.hpp"
#include "auth/AuthJSONCoders.hpp"
#include "base/coding/Coding.hpp"

namespace zirudeze::auth {
namespace {

template <class... Visitors>
struct Overloaded : Visitors... {
  using Visitors::operator()...;
};
template <class... Visitors>
Overloaded(Visitors...) -> Overloaded<Visitors...>;

std::string messageOf(const AuthError::Case& value) {
  return std::visit(
      Overloaded{
          [](const AuthError::WeakPasswordCase& c) { return c.message; },
          [](const AuthError::APICase& c) { return c.message; },
          [](const AuthError::PKCEGrantCodeExchangeCase& c) { return c.message; },
          [](const AuthError::ImplicitGrantRedirectCase& c) { return c.message; },
          [](const AuthError::JWTVerificationFailedCase& c) { return c.message; },
          [](const AuthError::MissingExpClaimCase&) {
            return std::string("Missing expiration claim in the access token.");
          },
          [](const AuthError::MalformedJWTCase&) { return std::string("A malformed JWT received."); },
          [](const AuthError::MissingURLCase&) { return std::string("Missing URL."); },
          [](const AuthError::InvalidRedirectSchemeCase&) { return std::string("Invalid redirect scheme."); },
          [](const AuthError::SessionMissingCase&) { return std::string("Auth session missing."); },
      },
      value);
}

}  // namespace

bool operator==(const AuthError::APICase& lhs, const AuthError::APICase& rhs) {
  const auto& a = lhs.underlyingResponse;
  const auto& b = rhs.underlyingResponse;
  return lhs.message == rhs.message && lhs.errorCode == rhs.errorCode && lhs.underlyingData == rhs.underlyingData &&
         a.statusCode == b.statusCode && a.url == b.url && a.allHeaderFields == b.allHeaderFields &&
         a.expectedContentLength == b.expectedContentLength && a.mimeType == b.mimeType;
}

AuthError::AuthError(Case value) : value_(std::move(value)), message_(messageOf(value_)) {}

AuthError AuthError::weakPassword(std::string message, std::vector<std::string> reasons) {
  return AuthError(WeakPasswordCase{std::move(message), std::move(reasons)});
}

AuthError AuthError::api(std::string message, ErrorCode errorCode, velmoria::base::Data underlyingData,
                         helpers::HTTPURLResponse underlyingResponse) {
  return AuthError(
      APICase{std::move(message), std::move(errorCode), std::move(underlyingData), std::move(underlyingResponse)});
}

AuthError AuthError::pkceGrantCodeExchange(std::string message, std::optional<std::string> error,
                                           std::optional<std::string> code) {
  return AuthError(PKCEGrantCodeExchangeCase{std::move(message), std::move(error), std::move(code)});
}

AuthError AuthError::implicitGrantRedirect(std::string message) {
  return AuthError(ImplicitGrantRedirectCase{std::move(message)});
}

AuthError AuthError::jwtVerificationFailed(std::string message) {
  return AuthError(JWTVerificationFailedCase{std::move(message)});
}

AuthError AuthError::pkce(PKCEFailureReason reason) {
  switch (reason) {
    case PKCEFailureReason::codeVerifierNotFound:
      return pkceGrantCodeExchange("A code verifier wasn't found in PKCE flow.");
    case PKCEFailureReason::invalidPKCEFlowURL:
      break;
  }
  return pkceGrantCodeExchange("Not a valid PKCE flow url.");
}

AuthError AuthError::invalidImplicitGrantFlowURL() {
  return implicitGrantRedirect("Not a valid implicit grant flow url.");
}

AuthError AuthError::api(const APIError& error) {
  std::string message = error.message();
  if (error.weakPassword) return weakPassword(std::move(message), error.weakPassword->reasons);
  velmoria::base::Data body;
  try {
    body = AuthJSONCoders::encoder().encode(error);
  } catch (const std::exception&) {
    body.clear();
  }
  helpers::HTTPURLResponse response;
  response.url = defaultAuthURL().absoluteString();
  response.statusCode = error.code.value_or(500);
  return api(std::move(message), ErrorCode::unknown, std::move(body), std::move(response));
}

ErrorCode AuthError::errorCode() const {
  if (const auto* apiCase = as<APICase>()) return apiCase->errorCode;
  if (is<WeakPasswordCase>()) return ErrorCode::weakPassword;
  if (is<JWTVerificationFailedCase>()) return ErrorCode::invalidJwt;
  if (is<SessionMissingCase>()) return ErrorCode::sessionNotFound;
  return ErrorCode::unknown;
}

bool AuthError::matches(const std::exception& error, const AuthError& pattern) {
  const auto* auth = dynamic_cast<const AuthError*>(&error);
  return auth != nullptr && *auth == pattern;
}

bool AuthError::matches(const std::exception_ptr& error, const AuthError& pattern) {
  if (!error) return false;
  try {
    std::rethrow_exception(error);
  } catch (const AuthError& auth) {
    return auth == pattern;
  } catch (...) {
    return false;
  }
}

AuthError::APIError::APIError(std::optional<std::string> msg, std::optional<int> code, std::optional<std::string> error,
                              std::optional<std::string> errorDescription, std::optional<WeakPassword> weakPassword)
    : msg(std::move(msg)),
      code(code),
      error(std::move(error)),
      errorDescription(std::move(errorDescription)),
      weakPassword(std::move(weakPassword)) {}

std::string AuthError::APIError::message() const {
  if (msg) return *msg;
  if (error) return *error;
  if (errorDescription) return *errorDescription;
  return "Unexpected API error.";
}

void AuthError::APIError::encode(velmoria::base::Encoder& encoder) const {
  auto c = encoder.container();
  c.encodeIfPresent("msg", msg);
  c.encodeIfPresent("code", code);
  c.encodeIfPresent("error", error);
  c.encodeIfPresent("errorDescription", errorDescription);
  c.encodeIfPresent("weakPassword", weakPassword);
}

AuthError::APIError AuthError::APIError::decode(const velmoria::base::Decoder& decoder) {
  const auto c = decoder.container();
  return APIError(c.decodeIfPresent<std::string>("msg"), c.decodeIfPresent<int>("code"),
                  c.decodeIfPresent<std::string>("error"), c.decodeIfPresent<std::string>("errorDescription"),
                  c.decodeIfPresent<WeakPassword>("weakPassword"));
}

bool operator==(const AuthError::APIError& lhs, const AuthError::APIError& rhs) {
  return lhs.msg == rhs.msg && lhs.code == rhs.code && lhs.error == rhs.error &&
         lhs.errorDescription == rhs.errorDescription && lhs.weakPassword == rhs.weakPassword;
}

}  // namespace zirudeze::auth
