#include "helpers/SharedJSONCoders.hpp"

#include "helpers/ISO8601Date.hpp"

namespace zirudeze::helpers {
namespace {

base::Date decodeDate(const base::Decoder& decoder) {
  const std::string& text = decoder.requireString();
  if (auto date = parseISO8601Date(text)) return *date;
  throw decoder.dataCorrupted("Invalid date format: " + text);
}

void encodeDate(base::Date date, base::Encoder& encoder) { encoder.json() = formatISO8601Date(date); }

}  // namespace

base::JSONDecoder JSONDecoder::makeDefault() {
  base::JSONDecoder decoder;
  decoder.settings.dateDecodingStrategy = base::DateDecodingStrategy::custom(decodeDate);
  return decoder;
}

const base::JSONDecoder& JSONDecoder::shared() {
  static const base::JSONDecoder decoder = makeDefault();
  return decoder;
}

base::JSONEncoder JSONEncoder::makeDefault() {
  base::JSONEncoder encoder;
  encoder.settings.dateEncodingStrategy = base::DateEncodingStrategy::custom(encodeDate);
  return encoder;
}

const base::JSONEncoder& JSONEncoder::shared() {
  static const base::JSONEncoder encoder = makeDefault();
  return encoder;
}

}  // namespace zirudeze::helpers
