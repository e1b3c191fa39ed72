#pragma once

#include <optional>
#include <string>
#include <vector>

namespace velmoria::base {

// One step of a coding path: an object key, or an array position ("Index 3").
struct CodingKey {
  std::string stringValue;
  std::optional<int> intValue;

  static CodingKey index(int position) { return {"Index " + std::to_string(position), position}; }
  bool operator==(const CodingKey&) const = default;
};

using CodingPath = std::vector<CodingKey>;

// "user.identities[0].id": for messages and logs.
std::string describeCodingPath(const CodingPath& path);

}  // namespace velmoria::base
