#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>

#include "httptypes/HTTPField.hpp"
#include "httptypes/Hasher.hpp"

namespace zirudeze::http {

// The request pseudo-header fields (":method", ":scheme", ":authority", ":path", ":protocol"). Copies share
// one storage object until one of them changes.
class HTTPRequestPseudoHeaderFields {
 public:
  // The field must be named ":method" and hold a method token.
  explicit HTTPRequestPseudoHeaderFields(HTTPField method);

  // Each setter requires a field of the matching pseudo-header name; ":method" also a token value.
  [[nodiscard]] const HTTPField& method() const noexcept { return storage_->method; }
  void setMethod(HTTPField field);
  [[nodiscard]] const std::optional<HTTPField>& scheme() const noexcept { return storage_->scheme; }
  void setScheme(std::optional<HTTPField> field);
  [[nodiscard]] const std::optional<HTTPField>& authority() const noexcept { return storage_->authority; }
  void setAuthority(std::optional<HTTPField> field);
  [[nodiscard]] const std::optional<HTTPField>& path() const noexcept { return storage_->path; }
  void setPath(std::optional<HTTPField> field);
  [[nodiscard]] const std::optional<HTTPField>& extendedConnectProtocol() const noexcept {
    return storage_->extendedConnectProtocol;
  }
  void setExtendedConnectProtocol(std::optional<HTTPField> field);

  friend bool operator==(const HTTPRequestPseudoHeaderFields& lhs, const HTTPRequestPseudoHeaderFields& rhs);
  void hash(Hasher& hasher) const noexcept;

 private:
  struct Storage {
    HTTPField method;
    std::optional<HTTPField> scheme;
    std::optional<HTTPField> authority;
    std::optional<HTTPField> path;
    std::optional<HTTPField> extendedConnectProtocol;
  };

  Storage& unique();

  std::shared_ptr<Storage> storage_;
};

}  // namespace zirudeze::http

template <>
struct std::hash<zirudeze::http::HTTPRequestPseudoHeaderFields> {
  std::size_t operator()(const zirudeze::http::HTTPRequestPseudoHeaderFields& fields) const noexcept {
    return zirudeze::http::Hasher::hashOf(fields);
  }
};
