#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "base/Coding.hpp"
#include "httptypes/Hasher.hpp"

namespace zirudeze::http {

// The name of one header field (or of a pseudo-header field such as ":path"). It keeps the form it was
// given for display and a lower-case canonical form for comparing, hashing and indexing.
class HTTPFieldName {
 public:
  // A name from text: non-empty, token characters only (any case). Pseudo names cannot be made this way.
  [[nodiscard]] static std::optional<HTTPFieldName> make(std::string_view text);

  // A name read off the wire: one optional leading ':', then lower-case token characters only. Both forms
  // are the text as given; ':' alone is accepted.
  [[nodiscard]] static std::optional<HTTPFieldName> parsed(std::string_view text);

  [[nodiscard]] const std::string& rawName() const noexcept { return rawName_; }
  [[nodiscard]] const std::string& canonicalName() const noexcept {
    return canonicalName_.empty() ? rawName_ : canonicalName_;
  }
  [[nodiscard]] const std::string& description() const noexcept { return rawName_; }

  [[nodiscard]] bool isPseudo() const noexcept { return !rawName_.empty() && rawName_.front() == ':'; }

  friend bool operator==(const HTTPFieldName& lhs, const HTTPFieldName& rhs) noexcept {
    return lhs.canonicalName() == rhs.canonicalName();
  }

  void hash(Hasher& hasher) const noexcept { hasher.combine(canonicalName()); }

  // Coded as one string holding the raw name. Decoding checks the text and fails with a data-corrupted
  // error naming it.
  void encode(velmoria::base::Encoder& encoder) const;
  [[nodiscard]] static HTTPFieldName decode(const velmoria::base::Decoder& decoder);

  // Well-known names; both forms are stored as written here.
  static const HTTPFieldName& accept();
  static const HTTPFieldName& acceptEncoding();
  static const HTTPFieldName& acceptLanguage();
  static const HTTPFieldName& acceptRanges();
  static const HTTPFieldName& accessControlAllowCredentials();
  static const HTTPFieldName& accessControlAllowHeaders();
  static const HTTPFieldName& accessControlAllowMethods();
  static const HTTPFieldName& accessControlAllowOrigin();
  static const HTTPFieldName& accessControlExposeHeaders();
  static const HTTPFieldName& accessControlMaxAge();
  static const HTTPFieldName& accessControlRequestHeaders();
  static const HTTPFieldName& accessControlRequestMethod();
  static const HTTPFieldName& age();
  static const HTTPFieldName& allow();
  static const HTTPFieldName& authenticationInfo();
  static const HTTPFieldName& authorization();
  static const HTTPFieldName& cacheControl();
  static const HTTPFieldName& connection();
  static const HTTPFieldName& contentDisposition();
  static const HTTPFieldName& contentEncoding();
  static const HTTPFieldName& contentLanguage();
  static const HTTPFieldName& contentLength();
  static const HTTPFieldName& contentLocation();
  static const HTTPFieldName& contentRange();
  static const HTTPFieldName& contentSecurityPolicy();
  static const HTTPFieldName& contentSecurityPolicyReportOnly();
  static const HTTPFieldName& contentType();
  static const HTTPFieldName& cookie();
  static const HTTPFieldName& crossOriginResourcePolicy();
  static const HTTPFieldName& date();
  static const HTTPFieldName& earlyData();
  static const HTTPFieldName& eTag();
  static const HTTPFieldName& expect();
  static const HTTPFieldName& expires();
  static const HTTPFieldName& from();
  static const HTTPFieldName& host();
  static const HTTPFieldName& ifMatch();
  static const HTTPFieldName& ifModifiedSince();
  static const HTTPFieldName& ifNoneMatch();
  static const HTTPFieldName& ifRange();
  static const HTTPFieldName& ifUnmodifiedSince();
  static const HTTPFieldName& lastModified();
  static const HTTPFieldName& location();
  static const HTTPFieldName& maxForwards();
  static const HTTPFieldName& origin();
  static const HTTPFieldName& priority();
  static const HTTPFieldName& proxyAuthenticate();
  static const HTTPFieldName& proxyAuthenticationInfo();
  static const HTTPFieldName& proxyAuthorization();
  static const HTTPFieldName& proxyStatus();
  static const HTTPFieldName& range();
  static const HTTPFieldName& referer();
  static const HTTPFieldName& retryAfter();
  static const HTTPFieldName& secPurpose();
  static const HTTPFieldName& secWebSocketAccept();
  static const HTTPFieldName& secWebSocketExtensions();
  static const HTTPFieldName& secWebSocketKey();
  static const HTTPFieldName& secWebSocketProtocol();
  static const HTTPFieldName& secWebSocketVersion();
  static const HTTPFieldName& server();
  static const HTTPFieldName& setCookie();
  static const HTTPFieldName& strictTransportSecurity();
  static const HTTPFieldName& te();
  static const HTTPFieldName& trailer();
  static const HTTPFieldName& transferEncoding();
  static const HTTPFieldName& upgrade();
  static const HTTPFieldName& userAgent();
  static const HTTPFieldName& vary();
  static const HTTPFieldName& via();
  static const HTTPFieldName& wwwAuthenticate();
  static const HTTPFieldName& xContentTypeOptions();

 private:
  HTTPFieldName(std::string rawName, std::string canonicalName)
      : rawName_(std::move(rawName)), canonicalName_(std::move(canonicalName)) {
    if (canonicalName_ == rawName_) canonicalName_.clear();
  }

  std::string rawName_;
  std::string canonicalName_;  // empty when it equals the raw name (names are never empty), saving a copy
};

}  // namespace zirudeze::http

template <>
struct std::hash<zirudeze::http::HTTPFieldName> {
  std::size_t operator()(const zirudeze::http::HTTPFieldName& name) const noexcept {
    return zirudeze::http::Hasher::hashOf(name);
  }
};
