#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "base/coding/JSONCoders.hpp"
#include "helpers/AnyJSON.hpp"
#include "helpers/SharedJSONCoders.hpp"

namespace zirudeze::realtime::testing {

// The compact text a value encodes to, keys in the order written.
template <class T>
std::string encoded(const T& value) {
  return velmoria::base::JSONEncoder{}.encodeToString(value);
}

template <class T>
T decoded(std::string_view text, const velmoria::base::JSONDecoder& decoder = helpers::JSONDecoder::shared()) {
  return decoder.decode<T>(text);
}

template <class T>
std::optional<velmoria::base::DecodingError> decodingError(
    std::string_view text, const velmoria::base::JSONDecoder& decoder = helpers::JSONDecoder::shared()) {
  try {
    decoder.decode<T>(text);
  } catch (const velmoria::base::DecodingError& error) {
    return error;
  }
  return std::nullopt;
}

inline helpers::JSONObject object(std::string_view text) { return *helpers::AnyJSON::parse(text)->objectValue(); }

// The coding path as "key/Index 0/key" text.
inline std::string pathText(const velmoria::base::CodingPath& path) {
  std::string text;
  for (const auto& key : path) text += (text.empty() ? "" : "/") + key.stringValue;
  return text;
}

}  // namespace zirudeze::realtime::testing
