#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "base/Data.hpp"
#include "helpers/AnyJSON.hpp"

namespace zirudeze::helpers {

// A token taken apart, unverified.
struct DecodedJWT {
  JSONObject header;
  JSONObject payload;
  velmoria::base::Data signature;
  // The header and payload segments as received: what was signed is raw.first + "." + raw.second.
  std::pair<std::string, std::string> raw;
};

// Reads JSON Web Tokens: three base64url segments joined by ".". Every problem gives nothing.
struct JWT {
  // The claims object of a token.
  static std::optional<JSONObject> decodePayload(std::string_view token);
  static std::optional<DecodedJWT> decode(std::string_view token);
};

}  // namespace zirudeze::helpers
