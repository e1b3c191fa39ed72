#include "FieldAccess.hpp"
#include "httptypes/HTTPField.hpp"

namespace zirudeze::http {

void HTTPField::encode(velmoria::base::Encoder& encoder) const {
  auto container = encoder.container();
  container.encode("name", name_);
  container.encode("value", rawValue_.latin1Text());
  if (indexingStrategy_.rawValue != 0) container.encode("indexingStrategy", indexingStrategy_.rawValue);
}

HTTPField HTTPField::decode(const velmoria::base::Decoder& decoder) {
  const auto container = decoder.container();
  Name name = container.decode<Name>("name");
  const auto text = container.decode<std::string>("value");
  // Each character must stand for one wire byte; a character above U+00FF has no byte to stand for.
  std::optional<ISOLatin1String> value;
  if (isValidValue(text)) value = ISOLatin1String::fromLatin1Text(text);
  if (!value) throw container.dataCorrupted("value", "HTTP field value \"" + text + "\" contains invalid characters");
  DynamicTableIndexingStrategy strategy;
  if (const auto raw = container.decodeIfPresent<std::uint8_t>("indexingStrategy"); raw && *raw <= 3) {
    strategy.rawValue = *raw;
  }
  return detail::FieldAccess::unrepaired(std::move(name), std::move(*value), strategy);
}

}  // namespace zirudeze::http
