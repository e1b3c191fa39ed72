#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "auth/AuthJSONCoders.hpp"
#include "base/coding/JSONCoders.hpp"

namespace zirudeze::auth::testing {

inline velmoria::base::Json json(std::string_view text) { return velmoria::base::Json::parse(text); }

// The wire object a value becomes under the auth encoder.
template <class T>
velmoria::base::Json wire(const T& value) {
  return AuthJSONCoders::encoder().encodeToJson(value);
}

template <class T>
T fromWire(std::string_view text) {
  return AuthJSONCoders::decoder().decode<T>(text);
}

template <class T>
std::optional<velmoria::base::DecodingError> decodingError(
    std::string_view text, const velmoria::base::JSONDecoder& decoder = AuthJSONCoders::decoder()) {
  try {
    decoder.decode<T>(text);
  } catch (const velmoria::base::DecodingError& error) {
    return error;
  }
  return std::nullopt;
}

// An instant given in whole microseconds since 1970, as the service writes them.
inline velmoria::base::Date micros(std::int64_t value) {
  return velmoria::base::Date(std::chrono::microseconds(value));
}

}  // namespace zirudeze::auth::testing
