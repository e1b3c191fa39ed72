#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/Coding.hpp"
#include "httptypes/HTTPResponse.hpp"

namespace zirudeze::fuzzing {

// Decodes the bytes as JSON text into T. Whatever decodes must encode and decode again to an equal value
// with the same coded form; refusals must be decoding errors.
template <typename T>
void checkDecodingRoundTrip(const std::uint8_t* bytes, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(bytes), size);
  std::optional<T> decoded;
  try {
    decoded = velmoria::base::JSONDecoder{}.decode<T>(text);
  } catch (const velmoria::base::DecodingError&) {
    return;
  } catch (const zirudeze::http::HTTPResponse::DecodingError&) {
    return;
  }
  const velmoria::base::JSONEncoder encoder;
  const std::string once = encoder.encodeToString(*decoded);
  const T again = velmoria::base::JSONDecoder{}.decode<T>(once);
  if (!(again == *decoded)) __builtin_trap();
  if (encoder.encodeToString(again) != once) __builtin_trap();
}

}  // namespace zirudeze::fuzzing
