#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/Data.hpp"
#include "helpers/URLResponse.hpp"

namespace zirudeze::rest {

template <class Value>
struct RestResponse;

// A successful answer without a decoded value.
template <>
struct RestResponse<void> {
  velmoria::base::Data data;
  helpers::HTTPURLResponse response;
  // The total the service reported in "Content-Range", when it reported one.
  std::optional<std::int64_t> count;

  int status() const noexcept { return response.statusCode; }
  // The body as UTF-8 text; nothing when it is not valid UTF-8.
  std::optional<std::string> string() const;
};

// A successful answer and its body decoded as `Value`.
template <class Value>
struct RestResponse : RestResponse<void> {
  Value value;
};

}  // namespace zirudeze::rest
