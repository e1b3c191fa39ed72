#include "base/Check.hpp"
#include "base/Unicode.hpp"
#include "httptypes/HTTPRequest.hpp"

namespace zirudeze::http {
namespace {

std::string_view slice(std::string_view text, std::size_t from, std::size_t to) { return text.substr(from, to - from); }

}  // namespace

std::optional<velmoria::base::URL> HTTPRequest::url() const {
  const auto& pseudo = pseudoHeaderFields_;
  const std::string& method = pseudo.method().rawValue().bytes();
  if (method == "CONNECT" && !pseudo.extendedConnectProtocol()) return std::nullopt;
  if (method == "OPTIONS" && pseudo.path() && pseudo.path()->rawValue().bytes() == "*") return std::nullopt;
  if (!pseudo.scheme() || !pseudo.authority() || !pseudo.path()) return std::nullopt;

  const std::string& scheme = pseudo.scheme()->rawValue().bytes();
  const std::string& authority = pseudo.authority()->rawValue().bytes();
  const std::string& path = pseudo.path()->rawValue().bytes();
  std::string text;
  text.reserve(scheme.size() + 3 + authority.size() + path.size());
  text.append(scheme).append("://").append(authority).append(path);
  auto url = velmoria::base::URL::parse(text);
  if (!url || !url->range(velmoria::base::URLComponent::scheme)) return std::nullopt;
  return url;
}

void HTTPRequest::setURL(const std::optional<velmoria::base::URL>& url) {
  if (!url) {
    setScheme(std::nullopt);
    setAuthority(std::nullopt);
    setPath(std::nullopt);
    return;
  }
  const std::string_view text = url->absoluteString();
  const auto schemeRange = url->range(velmoria::base::URLComponent::scheme);
  VM_CHECK(schemeRange.has_value(), "URL of a request has no scheme");
  const std::string scheme = velmoria::base::repairUTF8(text.substr(schemeRange->location, schemeRange->length));

  // Host and port only: user information never becomes part of the authority.
  std::optional<std::string> authority;
  if (const auto host = url->range(velmoria::base::URLComponent::host)) {
    std::size_t end = host->location + host->length;
    if (const auto port = url->range(velmoria::base::URLComponent::port)) end = port->location + port->length;
    authority = velmoria::base::repairUTF8(slice(text, host->location, end));
  }

  // The path with "?" and the query, never the fragment; an empty path becomes "/".
  const auto pathRange = url->range(velmoria::base::URLComponent::path);
  const auto queryRange = url->range(velmoria::base::URLComponent::query);
  std::string_view requestTarget;
  if (pathRange) {
    const std::size_t end =
        queryRange ? queryRange->location + queryRange->length : pathRange->location + pathRange->length;
    requestTarget = slice(text, pathRange->location, end);
  } else if (queryRange) {
    requestTarget = slice(text, queryRange->location, queryRange->location + queryRange->length);
  }
  std::string path = pathRange && pathRange->length > 0 ? std::string(requestTarget) : "/" + std::string(requestTarget);

  setScheme(scheme);
  setAuthority(authority ? std::optional<std::string_view>(*authority) : std::nullopt);
  setPath(velmoria::base::repairUTF8(path));
}

}  // namespace zirudeze::http
