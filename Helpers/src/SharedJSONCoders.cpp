#include "helpers/SharedJSONCoders.hpp"

#include "helpers/ISO8601Date.hpp"

namespace zirudeze::helpers {
namespace {

velmoria::base::Date decodeDate(const velmoria::base::Decoder& decoder) {
  const std::string& text = decoder.requireString();
  if (auto date = parseISO8601Date(text)) return *date;
  throw decoder.dataCorrupted("Invalid date format: " + text);
}

void encodeDate(velmoria::base::Date date, velmoria::base::Encoder& encoder) {
  encoder.json() = formatISO8601Date(date);
}

}  // namespace

velmoria::base::JSONDecoder JSONDecoder::makeDefault() {
  velmoria::base::JSONDecoder decoder;
  decoder.settings.dateDecodingStrategy = velmoria::base::DateDecodingStrategy::custom(decodeDate);
  return decoder;
}

const velmoria::base::JSONDecoder& JSONDecoder::shared() {
  static const velmoria::base::JSONDecoder decoder = makeDefault();
  return decoder;
}

velmoria::base::JSONEncoder JSONEncoder::makeDefault() {
  velmoria::base::JSONEncoder encoder;
  encoder.settings.dateEncodingStrategy = velmoria::base::DateEncodingStrategy::custom(encodeDate);
  return encoder;
}

const velmoria::base::JSONEncoder& JSONEncoder::shared() {
  static const velmoria::base::JSONEncoder encoder = makeDefault();
  return encoder;
}

}  // namespace zirudeze::helpers
