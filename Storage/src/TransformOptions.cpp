#include "storage/TransformOptions.hpp"

namespace zirudeze::storage {

std::vector<velmoria::base::URLQueryItem> TransformOptions::queryItems() const {
  std::vector<velmoria::base::URLQueryItem> items;
  if (width) items.push_back({"width", std::to_string(*width)});
  if (height) items.push_back({"height", std::to_string(*height)});
  if (resize) items.push_back({"resize", *resize});
  if (quality) items.push_back({"quality", std::to_string(*quality)});
  if (format) items.push_back({"format", *format});
  return items;
}

void TransformOptions::encode(velmoria::base::Encoder& encoder) const {
  auto object = encoder.container();
  object.encodeIfPresent("width", width);
  object.encodeIfPresent("height", height);
  object.encodeIfPresent("resize", resize);
  object.encodeIfPresent("quality", quality);
  object.encodeIfPresent("format", format);
}

}  // namespace zirudeze::storage
