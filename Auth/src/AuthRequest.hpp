#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "auth/AuthClientConfiguration.hpp"
#include "auth/OTPTypes.hpp"
#include "base/URL.hpp"
#include "base/URLComponents.hpp"
#include "helpers/HTTPRequest.hpp"

namespace zirudeze::auth::detail {

// `url` with one more path segment that holds `segment` whole: "/", "?", "#", "%" and everything else a
// segment may not carry are percent-encoded, and so are the dots of "." or "..", so a caller's text can
// never reach another path.
velmoria::base::URL appendingPathSegment(const velmoria::base::URL& url, std::string_view segment);

// The "redirect_to" item: the caller's address, else the configured one; none when both are absent.
std::vector<velmoria::base::URLQueryItem> redirectQuery(const std::optional<velmoria::base::URL>& redirectTo,
                                                        const AuthClientConfiguration& configuration);

// The caller's redirect address, else the configured one.
std::optional<velmoria::base::URL> redirectAddress(const std::optional<velmoria::base::URL>& redirectTo,
                                                   const AuthClientConfiguration& configuration);

// A captcha token travels as {"captcha_token": ...}; none without a token.
std::optional<AuthMetaSecurity> metaSecurity(const std::optional<std::string>& captchaToken);

// A request to `path` below the auth URL with a body in the configuration's encoding.
template <class Body>
helpers::HTTPRequest jsonRequest(const AuthClientConfiguration& configuration, std::string_view path,
                                 helpers::HTTPRequest::Method method, std::vector<velmoria::base::URLQueryItem> query,
                                 const Body& body, http::HTTPFields headers = {}) {
  return helpers::HTTPRequest(configuration.url.appendingPathComponent(path), std::move(method), std::move(query),
                              std::move(headers), configuration.encoder.encode(body));
}

template <class Body>
helpers::HTTPRequest postRequest(const AuthClientConfiguration& configuration, std::string_view path,
                                 std::vector<velmoria::base::URLQueryItem> query, const Body& body) {
  return jsonRequest(configuration, path, helpers::HTTPRequest::Method::post(), std::move(query), body);
}

// A request to `path` below the auth URL without a body.
helpers::HTTPRequest plainRequest(const AuthClientConfiguration& configuration, std::string_view path,
                                  helpers::HTTPRequest::Method method,
                                  std::vector<velmoria::base::URLQueryItem> query = {});

}  // namespace zirudeze::auth::detail
