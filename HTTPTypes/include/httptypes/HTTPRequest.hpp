#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/Coding.hpp"
#include "base/URL.hpp"
#include "httptypes/HTTPFields.hpp"
#include "httptypes/HTTPRequestMethod.hpp"
#include "httptypes/HTTPRequestPseudoHeaderFields.hpp"
#include "httptypes/Hasher.hpp"

namespace zirudeze::http {

// One request head: the pseudo-header fields and the ordinary header fields.
class HTTPRequest {
 public:
  using Method = HTTPRequestMethod;
  using PseudoHeaderFields = HTTPRequestPseudoHeaderFields;

  // Given texts are repaired as field values are, never refused.
  HTTPRequest(const Method& method, std::optional<std::string_view> scheme, std::optional<std::string_view> authority,
              std::optional<std::string_view> path, HTTPFields headerFields = {});
  // Scheme, authority and path come from the URL, which must have a scheme.
  HTTPRequest(const Method& method, const velmoria::base::URL& url, HTTPFields headerFields = {});

  [[nodiscard]] Method method() const;
  void setMethod(const Method& method);

  // Each reads and writes the value of its own pseudo-header field; none removes the field.
  [[nodiscard]] std::optional<std::string> scheme() const;
  void setScheme(std::optional<std::string_view> value);
  [[nodiscard]] std::optional<std::string> authority() const;
  void setAuthority(std::optional<std::string_view> value);
  [[nodiscard]] std::optional<std::string> path() const;
  void setPath(std::optional<std::string_view> value);
  [[nodiscard]] std::optional<std::string> extendedConnectProtocol() const;
  void setExtendedConnectProtocol(std::optional<std::string_view> value);

  // None for CONNECT without a protocol, OPTIONS "*", a missing part, or bytes that make no URL.
  [[nodiscard]] std::optional<velmoria::base::URL> url() const;
  // Sets scheme, authority (host and port, never user information) and path with query; none clears them.
  void setURL(const std::optional<velmoria::base::URL>& url);

  [[nodiscard]] const PseudoHeaderFields& pseudoHeaderFields() const noexcept { return pseudoHeaderFields_; }
  [[nodiscard]] PseudoHeaderFields& pseudoHeaderFields() noexcept { return pseudoHeaderFields_; }
  void setPseudoHeaderFields(PseudoHeaderFields fields) { pseudoHeaderFields_ = std::move(fields); }

  [[nodiscard]] const HTTPFields& headerFields() const noexcept { return headerFields_; }
  [[nodiscard]] HTTPFields& headerFields() noexcept { return headerFields_; }
  void setHeaderFields(HTTPFields fields) { headerFields_ = std::move(fields); }

  friend bool operator==(const HTTPRequest&, const HTTPRequest&) = default;
  void hash(Hasher& hasher) const noexcept {
    pseudoHeaderFields_.hash(hasher);
    headerFields_.hash(hasher);
  }

  // "(GET) https://example.com/path"
  [[nodiscard]] std::string debugDescription() const;

  // Keys "pseudoHeaderFields" (an array of the present fields) and "headerFields".
  void encode(velmoria::base::Encoder& encoder) const;
  [[nodiscard]] static HTTPRequest decode(const velmoria::base::Decoder& decoder);

 private:
  HTTPRequest(PseudoHeaderFields pseudoHeaderFields, HTTPFields headerFields)
      : pseudoHeaderFields_(std::move(pseudoHeaderFields)), headerFields_(std::move(headerFields)) {}

  friend class HTTPParsedFields;

  PseudoHeaderFields pseudoHeaderFields_;
  HTTPFields headerFields_;
};

}  // namespace zirudeze::http

template <>
struct std::hash<zirudeze::http::HTTPRequest> {
  std::size_t operator()(const zirudeze::http::HTTPRequest& request) const noexcept {
    return zirudeze::http::Hasher::hashOf(request);
  }
};
