#include "auth/AuthJSONCoders.hpp"

#include "StoredDate.hpp"
#include "helpers/SharedJSONCoders.hpp"

namespace zirudeze::auth {

velmoria::base::JSONEncoder AuthJSONCoders::makeEncoder() {
  velmoria::base::JSONEncoder encoder = helpers::JSONEncoder::makeDefault();
  encoder.settings.keyEncodingStrategy = velmoria::base::KeyEncodingStrategy::convertToSnakeCase;
  return encoder;
}

velmoria::base::JSONDecoder AuthJSONCoders::makeDecoder() {
  velmoria::base::JSONDecoder decoder = helpers::JSONDecoder::makeDefault();
  decoder.settings.keyDecodingStrategy = velmoria::base::KeyDecodingStrategy::convertFromSnakeCase;
  return decoder;
}

const velmoria::base::JSONEncoder& AuthJSONCoders::encoder() {
  static const velmoria::base::JSONEncoder encoder = makeEncoder();
  return encoder;
}

const velmoria::base::JSONDecoder& AuthJSONCoders::decoder() {
  static const velmoria::base::JSONDecoder decoder = makeDecoder();
  return decoder;
}

const velmoria::base::JSONEncoder& StoredSessionCoders::encoder() {
  static const velmoria::base::JSONEncoder encoder = [] {
    velmoria::base::JSONEncoder made;
    made.settings.dateEncodingStrategy = velmoria::base::DateEncodingStrategy::custom(encodeStoredDate);
    return made;
  }();
  return encoder;
}

const velmoria::base::JSONDecoder& StoredSessionCoders::decoder() {
  static const velmoria::base::JSONDecoder decoder = [] {
    velmoria::base::JSONDecoder made;
    made.settings.dateDecodingStrategy = velmoria::base::DateDecodingStrategy::custom(decodeStoredDate);
    return made;
  }();
  return decoder;
}

}  // namespace zirudeze::auth
