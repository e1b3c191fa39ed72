#include <algorithm>
#include <chrono>

#include "AuthRequest.hpp"
#include "Numbers.hpp"
#include "auth/AuthClient.hpp"
#include "auth/AuthError.hpp"
#include "auth/Dependencies.hpp"
#include "auth/URLParameters.hpp"
#include "concurrency/Task.hpp"
#include "helpers/ErrorDescription.hpp"
#include "helpers/JWT.hpp"
#include "helpers/LogRedaction.hpp"

namespace zirudeze::auth {
namespace {

using Params = std::map<std::string, std::string>;

std::optional<std::string> value(const Params& params, const std::string& name) {
  const auto found = params.find(name);
  if (found == params.end()) return std::nullopt;
  return found->second;
}

// A parameter that holds one decimal number.
std::optional<double> numberValue(const Params& params, const std::string& name) {
  const auto text = value(params, name);
  if (!text) return std::nullopt;
  return detail::numberInText(*text);
}

std::string spacesForPluses(std::string text) {
  std::replace(text.begin(), text.end(), '+', ' ');
  return text;
}

double secondsSince1970(velmoria::base::Date date) {
  return std::chrono::duration<double>(date.time_since_epoch()).count();
}

// An error's text for the log: the redirect it may quote (the flows' own errors do) with its secrets masked.
std::string loggableError(std::string text, const std::string& url, const std::string& redactedURL) {
  for (auto at = text.find(url); !url.empty() && at != std::string::npos;
       at = text.find(url, at + redactedURL.size())) {
    text.replace(at, url.size(), redactedURL);
  }
  return helpers::redactingSecrets(text);
}

}  // namespace

void AuthClient::handle(const velmoria::base::URL& url) const {
  concurrency::Task([client = shared_from_this(), url] {
    try {
      client->session(url);
    } catch (...) {
      const auto logger = client->dependencies()->logger;
      if (!logger) return;
      const std::string redacted = helpers::redactingSecretsInURL(url.absoluteString());
      logger->error(
          "Failure loading session from url '" + redacted + "' error: " +
          loggableError(helpers::localizedDescription(std::current_exception()), url.absoluteString(), redacted));
    }
  });
}

Session AuthClient::session(const velmoria::base::URL& url) const {
  const auto dependencies = this->dependencies();
  if (dependencies->logger) {
    dependencies->logger->debug("Received URL: " + helpers::redactingSecretsInURL(url.absoluteString()));
  }
  const Params params = extractParams(url);
  if (dependencies->configuration.flowType == AuthFlowType::pkce) {
    if (!isPKCEFlow(params))
      throw AuthError::pkceGrantCodeExchange("Not a valid PKCE flow URL: " + url.absoluteString());
    return handlePKCEFlow(params);
  }
  if (!params.contains("access_token") && !params.contains("error_description")) {
    throw AuthError::implicitGrantRedirect("Not a valid implicit grant flow URL: " + url.absoluteString());
  }
  return handleImplicitGrantFlow(params);
}

Session AuthClient::handleImplicitGrantFlow(const Params& params) const {
  if (const auto description = value(params, "error_description")) {
    throw AuthError::implicitGrantRedirect(spacesForPluses(*description));
  }
  const auto accessToken = value(params, "access_token");
  const auto expiresIn = numberValue(params, "expires_in");
  const auto refreshToken = value(params, "refresh_token");
  const auto tokenType = value(params, "token_type");
  if (!accessToken || !expiresIn || !refreshToken || !tokenType) {
    throw AuthError::implicitGrantRedirect("No session defined in URL");
  }
  const auto expiresAt = numberValue(params, "expires_at");

  const auto dependencies = this->dependencies();
  const auto& configuration = dependencies->configuration;
  auto request = detail::plainRequest(configuration, "user", helpers::HTTPRequest::Method::get());
  request.headers.set(http::HTTPField::Name::authorization(), *tokenType + " " + *accessToken);
  User user = dependencies->api.execute(std::move(request)).decoded<User>(configuration.decoder);

  const Session session{
      .providerToken = value(params, "provider_token"),
      .providerRefreshToken = value(params, "provider_refresh_token"),
      .accessToken = *accessToken,
      .tokenType = *tokenType,
      .expiresIn = *expiresIn,
      .expiresAt = expiresAt.value_or(secondsSince1970(dependencies->date()) + *expiresIn),
      .refreshToken = *refreshToken,
      .user = std::move(user),
  };
  std::vector<AuthChangeEvent> events{AuthChangeEvent::signedIn};
  if (value(params, "type") == "recovery") events.push_back(AuthChangeEvent::passwordRecovery);
  dependencies->sessionManager.storeAndAnnounce(session, events);
  return session;
}

Session AuthClient::handlePKCEFlow(const Params& params) const {
  const auto error = value(params, "error");
  const auto description = value(params, "error_description");
  const auto code = value(params, "error_code");
  if (error || description || code) {
    throw AuthError::pkceGrantCodeExchange(
        description ? spacesForPluses(*description) : "Error in URL with unspecified error_description.",
        error.value_or("unspecified_error"), code.value_or("unspecified_code"));
  }
  const auto authCode = value(params, "code");
  if (!authCode) throw AuthError::pkceGrantCodeExchange("No code detected.");
  return exchangeCodeForSession(*authCode);
}

Session AuthClient::setSession(const std::string& accessToken, const std::string& refreshToken) const {
  const auto dependencies = this->dependencies();
  const double now = secondsSince1970(dependencies->date());
  const auto payload = helpers::JWT::decodePayload(accessToken);
  const auto expiresAt = payload ? detail::number(*payload, "exp") : std::nullopt;
  if (!expiresAt) throw AuthError::missingExpClaim();

  Session session;
  if (now < *expiresAt) {
    session = Session{
        .accessToken = accessToken,
        .tokenType = "bearer",
        .expiresIn = *expiresAt - now,
        .expiresAt = *expiresAt,
        .refreshToken = refreshToken,
        .user = user(accessToken),
    };
  } else {
    session = dependencies->sessionManager.refreshSession(refreshToken);
  }
  dependencies->sessionManager.storeAndAnnounce(session, {AuthChangeEvent::signedIn});
  return session;
}

}  // namespace zirudeze::auth
