#include "base/coding/CodingKey.hpp"

namespace velmoria::base {

std::string describeCodingPath(const CodingPath& path) {
  std::string text;
  for (const auto& key : path) {
    if (key.intValue) {
      text += '[' + std::to_string(*key.intValue) + ']';
    } else {
      if (!text.empty()) text += '.';
      text += key.stringValue;
    }
  }
  return text;
}

}  // namespace velmoria::base
