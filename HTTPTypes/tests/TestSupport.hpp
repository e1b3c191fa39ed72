#pragma once

#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "base/Coding.hpp"
#include "httptypes/HTTPField.hpp"
#include "httptypes/HTTPFieldName.hpp"

namespace zirudeze::http::testing {

inline HTTPFieldName name(std::string_view text) {
  auto made = HTTPFieldName::make(text);
  if (!made) made = HTTPFieldName::parsed(text);
  EXPECT_TRUE(made.has_value()) << "not a field name: " << text;
  return made ? *made : HTTPFieldName::accept();
}

inline HTTPField field(std::string_view fieldName, std::string_view value) { return HTTPField(name(fieldName), value); }

template <typename T>
std::string encodeJSON(const T& value) {
  return velmoria::base::JSONEncoder{}.encodeToString(value);
}

template <typename T>
T decodeJSON(std::string_view text) {
  return velmoria::base::JSONDecoder{}.decode<T>(text);
}

// The debug description of the data-corrupted error that decoding the text raises, or a note on what
// happened instead.
template <typename T>
std::string corruptionOf(std::string_view text) {
  try {
    (void)decodeJSON<T>(text);
    return "<decoded>";
  } catch (const velmoria::base::DecodingError& error) {
    if (error.kind() != velmoria::base::DecodingError::Kind::dataCorrupted) return "<other decoding error>";
    return error.debugDescription();
  }
}

}  // namespace zirudeze::http::testing
