#include <algorithm>

#include "httptypes/HTTPFieldName.hpp"
#include "httptypes/TokenCharacters.hpp"

namespace zirudeze::http {

void HTTPFieldName::encode(velmoria::base::Encoder& encoder) const { encoder.encode(rawName_); }

HTTPFieldName HTTPFieldName::decode(const velmoria::base::Decoder& decoder) {
  const std::string& text = decoder.requireString();
  if (isPseudoHeaderName(text)) {
    const std::string_view rest = std::string_view(text).substr(1);
    const bool lowercase = std::none_of(text.begin(), text.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
    if (!lowercase || rest.empty() || !hasOnlyTokenCharacters(rest)) {
      throw decoder.dataCorrupted("HTTP pseudo field name \"" + text + "\" contains invalid characters");
    }
    return HTTPFieldName(text, text);
  }
  if (auto name = make(text)) return std::move(*name);
  throw decoder.dataCorrupted("HTTP field name \"" + text + "\" contains invalid characters");
}

}  // namespace zirudeze::http
