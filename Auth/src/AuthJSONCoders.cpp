#include "auth/AuthJSONCoders.hpp"

#include "StoredDate.hpp"
#include "helpers/SharedJSONCoders.hpp"

namespace zirudeze::auth {

base::JSONEncoder AuthJSONCoders::makeEncoder() {
  base::JSONEncoder encoder = helpers::JSONEncoder::makeDefault();
  encoder.settings.keyEncodingStrategy = base::KeyEncodingStrategy::convertToSnakeCase;
  return encoder;
}

base::JSONDecoder AuthJSONCoders::makeDecoder() {
  base::JSONDecoder decoder = helpers::JSONDecoder::makeDefault();
  decoder.settings.keyDecodingStrategy = base::KeyDecodingStrategy::convertFromSnakeCase;
  return decoder;
}

const base::JSONEncoder& AuthJSONCoders::encoder() {
  static const base::JSONEncoder encoder = makeEncoder();
  return encoder;
}

const base::JSONDecoder& AuthJSONCoders::decoder() {
  static const base::JSONDecoder decoder = makeDecoder();
  return decoder;
}

const base::JSONEncoder& StoredSessionCoders::encoder() {
  static const base::JSONEncoder encoder = [] {
    base::JSONEncoder made;
    made.settings.dateEncodingStrategy = base::DateEncodingStrategy::custom(encodeStoredDate);
    return made;
  }();
  return encoder;
}

const base::JSONDecoder& StoredSessionCoders::decoder() {
  static const base::JSONDecoder decoder = [] {
    base::JSONDecoder made;
    made.settings.dateDecodingStrategy = base::DateDecodingStrategy::custom(decodeStoredDate);
    return made;
  }();
  return decoder;
}

}  // namespace zirudeze::auth
