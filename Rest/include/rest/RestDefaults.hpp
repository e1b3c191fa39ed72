#pragma once

#include <map>
#include <string>

#include "base/Coding.hpp"

namespace zirudeze::rest {

// "X-Client-Info": "rest-cpp/<library version>".
const std::map<std::string, std::string>& restDefaultHeaders();
// The database client's coders: the shared ISO 8601 date formats, made once.
const velmoria::base::JSONEncoder& restDefaultEncoder();
const velmoria::base::JSONDecoder& restDefaultDecoder();

// The parameters of a function called without any: encoded as "{}".
struct NoParams {
  void encode(velmoria::base::Encoder& encoder) const { encoder.container(); }
  friend bool operator==(NoParams, NoParams) noexcept { return true; }
};

}  // namespace zirudeze::rest
