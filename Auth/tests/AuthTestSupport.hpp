#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "auth/AuthJSONCoders.hpp"
#include "base/coding/JSONCoders.hpp"

namespace zirudeze::auth::testing {

inline base::Json json(std::string_view text) { return base::Json::parse(text); }

// The wire object a value becomes under the auth encoder.
template <class T>
base::Json wire(const T& value) {
  return AuthJSONCoders::encoder().encodeToJson(value);
}

template <class T>
T fromWire(std::string_view text) {
  return AuthJSONCoders::decoder().decode<T>(text);
}

template <class T>
std::optional<base::DecodingError> decodingError(std::string_view text,
                                                 const base::JSONDecoder& decoder = AuthJSONCoders::decoder()) {
  try {
    decoder.decode<T>(text);
  } catch (const base::DecodingError& error) {
    return error;
  }
  return std::nullopt;
}

// An instant given in whole microseconds since 1970, as the service writes them.
inline base::Date micros(std::int64_t value) { return base::Date(std::chrono::microseconds(value)); }

}  // namespace zirudeze::auth::testing
