#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "auth/AuthEnumerations.hpp"
#include "base/URL.hpp"
#include "helpers/AnyJSON.hpp"

namespace zirudeze::auth {

// What a sign-in operation is about, so the forms for an address, a number and a link's hash stay
// apart: client->signInWithOTP(Email{address}, {.shouldCreateUser = true}).
struct Email {
  std::string value;
};
struct Phone {
  std::string value;
};
struct TokenHash {
  std::string value;
};
// Single sign-on by the identity provider's id, or by the user's e-mail domain.
struct ProviderID {
  std::string value;
};
struct Domain {
  std::string value;
};

// A one-time code (or link) sent by e-mail. The redirect falls back to the configured one.
struct EmailOTPOptions {
  std::optional<velmoria::base::URL> redirectTo = std::nullopt;
  bool shouldCreateUser = true;
  std::optional<helpers::JSONObject> data = std::nullopt;
  std::optional<std::string> captchaToken = std::nullopt;
};

// A one-time code sent by text message.
struct PhoneOTPOptions {
  bool shouldCreateUser = true;
  MessagingChannel channel = MessagingChannel::sms;
  std::optional<helpers::JSONObject> data = std::nullopt;
  std::optional<std::string> captchaToken = std::nullopt;
};

struct VerifyEmailOTPOptions {
  std::optional<velmoria::base::URL> redirectTo = std::nullopt;
  std::optional<std::string> captchaToken = std::nullopt;
};

struct VerifyPhoneOTPOptions {
  std::optional<std::string> captchaToken = std::nullopt;
};

// Sign-up by e-mail and password. The redirect falls back to the configured one.
struct EmailSignUpOptions {
  std::optional<helpers::JSONObject> data = std::nullopt;
  std::optional<velmoria::base::URL> redirectTo = std::nullopt;
  std::optional<std::string> captchaToken = std::nullopt;
};

struct PhoneSignUpOptions {
  MessagingChannel channel = MessagingChannel::sms;
  std::optional<helpers::JSONObject> data = std::nullopt;
  std::optional<std::string> captchaToken = std::nullopt;
};

// Password sign-in, by e-mail or phone.
struct PasswordSignInOptions {
  std::optional<std::string> captchaToken = std::nullopt;
};

struct AnonymousSignInOptions {
  std::optional<helpers::JSONObject> data = std::nullopt;
  std::optional<std::string> captchaToken = std::nullopt;
};

// Resending an e-mail: the link's redirect falls back to the configured one.
struct ResendEmailOptions {
  std::optional<velmoria::base::URL> emailRedirectTo = std::nullopt;
  std::optional<std::string> captchaToken = std::nullopt;
};

struct ResendPhoneOptions {
  std::optional<std::string> captchaToken = std::nullopt;
};

struct ResetPasswordOptions {
  std::optional<velmoria::base::URL> redirectTo = std::nullopt;
  std::optional<std::string> captchaToken = std::nullopt;
};

// Single sign-on: the redirect travels in the request body.
struct SSOOptions {
  std::optional<velmoria::base::URL> redirectTo = std::nullopt;
  std::optional<std::string> captchaToken = std::nullopt;
};

// The optional parts of an OAuth sign-in or identity-linking address. The caller's query items come last,
// as given (a name without value stays without one).
struct OAuthURLOptions {
  std::optional<std::string> scopes = std::nullopt;
  std::optional<velmoria::base::URL> redirectTo = std::nullopt;
  std::vector<std::pair<std::string, std::optional<std::string>>> queryParams = {};
};

// The PKCE flow's challenge and its method ("s256", or "plain" when the challenge is the verifier);
// both absent in the implicit flow.
struct PKCEParameters {
  std::optional<std::string> codeChallenge;
  std::optional<std::string> codeChallengeMethod;
};

// The optional parts of a provider's authorization URL. The caller's query items come last, as given
// (a name without value stays without one).
struct ProviderURLOptions {
  std::optional<std::string> scopes = std::nullopt;
  std::optional<velmoria::base::URL> redirectTo = std::nullopt;
  std::vector<std::pair<std::string, std::optional<std::string>>> queryParams = {};
  std::optional<bool> skipBrowserRedirect = std::nullopt;
};

}  // namespace zirudeze::auth
