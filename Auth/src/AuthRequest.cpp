#include "AuthRequest.hpp"

#include <algorithm>
#include <string>

#include "base/PercentEncoding.hpp"
#include "base/Unicode.hpp"

namespace zirudeze::auth::detail {

velmoria::base::URL appendingPathSegment(const velmoria::base::URL& url, std::string_view segment) {
  const auto allowed = velmoria::base::CharacterSet::urlPathAllowed().subtracting("/");
  std::string encoded =
      velmoria::base::addingPercentEncoding(segment, allowed)
          .value_or(*velmoria::base::addingPercentEncoding(velmoria::base::repairUTF8(segment), allowed));
  if (!encoded.empty() && std::all_of(encoded.begin(), encoded.end(), [](char c) { return c == '.'; })) {
    std::string dots;
    for (std::size_t i = 0; i < encoded.size(); ++i) dots += "%2E";
    encoded = dots;
  }
  velmoria::base::URLComponents components(url);
  std::string path = components.percentEncodedPath();
  if (path.empty() || path.back() != '/') path += '/';
  components.setPercentEncodedPath(path + encoded);
  return components.url().value_or(url);
}

std::vector<velmoria::base::URLQueryItem> redirectQuery(const std::optional<velmoria::base::URL>& redirectTo,
                                                        const AuthClientConfiguration& configuration) {
  const auto address = redirectAddress(redirectTo, configuration);
  if (!address) return {};
  return {velmoria::base::URLQueryItem{"redirect_to", address->absoluteString()}};
}

std::optional<velmoria::base::URL> redirectAddress(const std::optional<velmoria::base::URL>& redirectTo,
                                                   const AuthClientConfiguration& configuration) {
  return redirectTo ? redirectTo : configuration.redirectToURL;
}

std::optional<AuthMetaSecurity> metaSecurity(const std::optional<std::string>& captchaToken) {
  if (!captchaToken) return std::nullopt;
  return AuthMetaSecurity{*captchaToken};
}

helpers::HTTPRequest plainRequest(const AuthClientConfiguration& configuration, std::string_view path,
                                  helpers::HTTPRequest::Method method,
                                  std::vector<velmoria::base::URLQueryItem> query) {
  return helpers::HTTPRequest(configuration.url.appendingPathComponent(path), std::move(method), std::move(query));
}

}  // namespace zirudeze::auth::detail
