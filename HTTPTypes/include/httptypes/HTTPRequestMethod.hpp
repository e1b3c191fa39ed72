#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "httptypes/Hasher.hpp"

namespace zirudeze::http {

// An HTTP method token. Case matters: "get" is valid and differs from "GET".
class HTTPRequestMethod {
 public:
  // None for the empty text or a text holding a byte that is not a token character.
  [[nodiscard]] static std::optional<HTTPRequestMethod> make(std::string_view text);

  [[nodiscard]] const std::string& rawValue() const noexcept { return rawValue_; }
  [[nodiscard]] const std::string& description() const noexcept { return rawValue_; }

  friend bool operator==(const HTTPRequestMethod&, const HTTPRequestMethod&) = default;
  void hash(Hasher& hasher) const noexcept { hasher.combine(rawValue_); }

  static const HTTPRequestMethod& get();
  static const HTTPRequestMethod& head();
  static const HTTPRequestMethod& post();
  static const HTTPRequestMethod& put();
  static const HTTPRequestMethod& delete_();  // "DELETE"; the trailing underscore dodges the keyword
  static const HTTPRequestMethod& connect();
  static const HTTPRequestMethod& options();
  static const HTTPRequestMethod& trace();
  static const HTTPRequestMethod& patch();

 private:
  friend class HTTPRequest;

  explicit HTTPRequestMethod(std::string rawValue) : rawValue_(std::move(rawValue)) {}

  std::string rawValue_;
};

}  // namespace zirudeze::http

template <>
struct std::hash<zirudeze::http::HTTPRequestMethod> {
  std::size_t operator()(const zirudeze::http::HTTPRequestMethod& method) const noexcept {
    return zirudeze::http::Hasher::hashOf(method);
  }
};
