#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/Data.hpp"

namespace zirudeze::helpers {

// The URL-safe Base64 alphabet of tokens: "-" and "_" instead of "+" and "/", no "=" padding.
struct Base64URL {
  static std::string encode(const velmoria::base::Data& bytes);
  static std::string encode(std::string_view bytes);

  // Lenient: missing padding is added, and characters outside the alphabet (blanks, line breaks, ".")
  // are skipped. Nothing when the text still is no valid Base64.
  static std::optional<velmoria::base::Data> decode(std::string_view text);
};

}  // namespace zirudeze::helpers
