#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/Coding.hpp"
#include "base/URLComponents.hpp"

namespace zirudeze::storage {

// How the image service should transform an image. Values are taken as given: no range or name checks.
struct TransformOptions {
  std::optional<std::int64_t> width;
  std::optional<std::int64_t> height;
  std::optional<std::string> resize;
  std::optional<std::int64_t> quality;
  std::optional<std::string> format;

  // "width", "height", "resize", "quality", "format" in that order, one item per value given.
  std::vector<velmoria::base::URLQueryItem> queryItems() const;

  // The same members as a JSON object; no values give an empty object.
  void encode(velmoria::base::Encoder& encoder) const;

  friend bool operator==(const TransformOptions&, const TransformOptions&) = default;
};

}  // namespace zirudeze::storage
