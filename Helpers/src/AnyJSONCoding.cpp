#include "AnyJSONConversion.hpp"
#include "helpers/AnyJSON.hpp"

namespace velmoria::base {

using zirudeze::helpers::AnyJSON;

void Coding<AnyJSON>::encode(const AnyJSON& value, Encoder& encoder) {
  switch (value.kind()) {
    case AnyJSON::Kind::null:
      encoder.encodeNil();
      return;
    case AnyJSON::Kind::bool_:
      encoder.json() = *value.boolValue();
      return;
    case AnyJSON::Kind::integer:
      encoder.json() = *value.intValue();
      return;
    // Through the double coding, so a non-finite value fails with its path.
    case AnyJSON::Kind::double_:
      encoder.encode(*value.doubleValue());
      return;
    case AnyJSON::Kind::string:
      encoder.json() = *value.stringValue();
      return;
    case AnyJSON::Kind::object: {
      auto object = encoder.exactKeyContainer();
      for (const auto& [key, member] : *value.objectValue()) object.encode(key, member);
      return;
    }
    case AnyJSON::Kind::array: {
      auto array = encoder.unkeyedContainer();
      for (const AnyJSON& element : *value.arrayValue()) array.encode(element);
      return;
    }
  }
}

AnyJSON Coding<AnyJSON>::decode(const Decoder& decoder) {
  return zirudeze::helpers::detail::convertJSON(
      decoder.json(), 0, [&decoder](const char* description) { return decoder.dataCorrupted(description); });
}

template <>
AnyJSON JSONDecoder::decode<AnyJSON>(std::string_view text) const {
  if (auto value = AnyJSON::parse(text)) return std::move(*value);
  return decodeJson<AnyJSON>(parseJson(text));
}

}  // namespace velmoria::base

namespace zirudeze::helpers::detail {

velmoria::base::DecodingError notAJSONObject() {
  return velmoria::base::DecodingError::typeMismatch("Dictionary<String, AnyJSON>",
                                                     {{}, "Expected to decode value to Dictionary<String, AnyJSON>."});
}

}  // namespace zirudeze::helpers::detail
