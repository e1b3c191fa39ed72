#include "auth/APIClient.hpp"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <utility>

#include "auth/Dependencies.hpp"
#include "auth/RawAPIErrorResponse.hpp"
#include "helpers/HTTPFieldsBridging.hpp"
#include "helpers/ISO8601Date.hpp"

namespace zirudeze::auth {
namespace {

// The version the service says it answered with: the header's day at midnight UTC, when it parses.
std::optional<velmoria::base::Date> responseAPIVersion(const helpers::HTTPResponse& response) {
  const auto header = response.headers[apiVersionHeaderName()];
  if (!header) return std::nullopt;
  return helpers::parseISO8601Date(*header + "T00:00:00.0Z");
}

}  // namespace

RequestSession RequestSession::of(const helpers::HTTPRequest& request) {
  const auto authorization = request.headers[http::HTTPField::Name::authorization()];
  constexpr std::string_view scheme = "Bearer ";
  if (!authorization || authorization->size() <= scheme.size()) return {};
  for (std::size_t i = 0; i < scheme.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>((*authorization)[i])) !=
        std::tolower(static_cast<unsigned char>(scheme[i])))
      return {};
  }
  return RequestSession{authorization->substr(scheme.size()), std::nullopt};
}

bool RequestSession::isCarriedBy(const Session& session) const {
  return (accessToken && *accessToken == session.accessToken) ||
         (refreshToken && *refreshToken == session.refreshToken);
}

std::vector<ErrorCode> APIClient::defaultSessionCleanupErrorCodes() {
  return {ErrorCode::sessionNotFound, ErrorCode::sessionExpired, ErrorCode::refreshTokenNotFound,
          ErrorCode::refreshTokenAlreadyUsed};
}

helpers::HTTPResponse APIClient::send(helpers::HTTPRequest request) const {
  const auto dependencies = Dependencies::get(clientID);
  http::HTTPFields headers = helpers::fieldsFromDictionary(dependencies->configuration.headers);
  helpers::merge(headers, request.headers);
  if (!headers.contains(apiVersionHeaderName())) {
    headers.set(apiVersionHeaderName(), APIVersion::rawValue(APIVersion::Name::_20240101));
  }
  request.headers = std::move(headers);
  return dependencies->http->send(request);
}

helpers::HTTPResponse APIClient::execute(helpers::HTTPRequest request) const {
  const RequestSession carried = RequestSession::of(request);
  helpers::HTTPResponse response = send(std::move(request));
  if (response.statusCode >= 200 && response.statusCode <= 299) return response;
  throw handleError(response, carried);
}

helpers::HTTPResponse APIClient::authorizedExecute(helpers::HTTPRequest request) const {
  const Session session = Dependencies::get(clientID)->sessionManager.session();
  request.headers.set(http::HTTPField::Name::authorization(), "Bearer " + session.accessToken);
  return execute(std::move(request));
}

AuthError APIClient::handleError(const helpers::HTTPResponse& response,
                                 const std::optional<RequestSession>& carried) const {
  const auto dependencies = Dependencies::get(clientID);
  RawAPIErrorResponse body;
  try {
    body = response.decoded<RawAPIErrorResponse>(dependencies->configuration.decoder);
  } catch (...) {
    return AuthError::api("Unexpected error", ErrorCode::unexpectedFailure, response.data, response.underlyingResponse);
  }

  std::optional<ErrorCode> errorCode = body.errorCode;
  const auto version = responseAPIVersion(response);
  const auto& firstVersion = apiVersions().at(APIVersion::Name::_20240101);
  if (version && *version >= firstVersion.timestamp && body.code) errorCode = ErrorCode(*body.code);

  const auto reasons = [&] {
    return body.weakPassword ? body.weakPassword->reasons.value_or(std::vector<std::string>{})
                             : std::vector<std::string>{};
  };
  if (!errorCode) {
    if (body.weakPassword) return AuthError::weakPassword(body.errorMessage(), reasons());
    return AuthError::api(body.errorMessage(), ErrorCode::unknown, response.data, response.underlyingResponse);
  }
  if (*errorCode == ErrorCode::weakPassword) return AuthError::weakPassword(body.errorMessage(), reasons());
  if (std::find(sessionCleanupErrorCodes.begin(), sessionCleanupErrorCodes.end(), *errorCode) !=
      sessionCleanupErrorCodes.end()) {
    // An answer to an older session (a refresh overtaken by a new sign-in) leaves the newer one alone.
    dependencies->sessionManager.endSession(
        [&](const Session& stored) { return !carried || carried->isCarriedBy(stored); });
    return AuthError::sessionMissing();
  }
  return AuthError::api(body.errorMessage(), *errorCode, response.data, response.underlyingResponse);
}

}  // namespace zirudeze::auth
