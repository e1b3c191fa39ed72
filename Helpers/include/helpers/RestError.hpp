#pragma once

#include <optional>
#include <stdexcept>
#include <string>

#include "base/Coding.hpp"

namespace zirudeze::helpers {

// The error object the backend's REST services put in a body.
class RestError : public std::runtime_error {
 public:
  explicit RestError(std::string message, std::optional<std::string> detail = std::nullopt,
                     std::optional<std::string> hint = std::nullopt, std::optional<std::string> code = std::nullopt);

  std::optional<std::string> detail;
  std::optional<std::string> hint;
  std::optional<std::string> code;
  std::string message;

  std::string errorDescription() const { return message; }
  std::string localizedDescription() const { return message; }

  // "message" is required; the other members may be absent or null and are written only when present.
  void encode(velmoria::base::Encoder& encoder) const;
  static RestError decode(const velmoria::base::Decoder& decoder);

  friend bool operator==(const RestError& a, const RestError& b) {
    return a.detail == b.detail && a.hint == b.hint && a.code == b.code && a.message == b.message;
  }
};

}  // namespace zirudeze::helpers
