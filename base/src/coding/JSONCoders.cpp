#include "base/coding/JSONCoders.hpp"

namespace velmoria::base {
namespace {

// nlohmann's parser is iterative, but everything that walks the result recurses; refuse deep
// documents up front with a linear scan that skips string contents.
bool withinDepth(std::string_view text) {
  std::size_t depth = 0;
  bool inString = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\')
        ++i;
      else if (c == '"')
        inString = false;
      continue;
    }
    if (c == '"')
      inString = true;
    else if (c == '[' || c == '{') {
      if (++depth > kMaxJsonDepth) return false;
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
  }
  return true;
}

DecodingError notValidJson() { return DecodingError::dataCorrupted({{}, "The given data was not valid JSON."}); }

}  // namespace

bool holdsNulByte(std::string_view text) noexcept { return text.find('\0') != std::string_view::npos; }

Json parseJson(std::string_view text) {
  if (holdsNulByte(text) || !withinDepth(text)) throw notValidJson();
  Json json = Json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false);
  if (json.is_discarded()) throw notValidJson();
  return json;
}

std::string JSONEncoder::dump(const Json& json) const {
  const int indent = settings.outputFormatting.prettyPrinted ? 2 : -1;
  if (settings.outputFormatting.sortedKeys) return nlohmann::json(json).dump(indent);
  return json.dump(indent);
}

}  // namespace velmoria::base
