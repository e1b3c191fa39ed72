#include "storage/StorageCoders.hpp"

#include "helpers/SharedJSONCoders.hpp"

namespace zirudeze::storage {

const velmoria::base::JSONEncoder& storageJSONEncoder() {
  static const velmoria::base::JSONEncoder encoder = [] {
    velmoria::base::JSONEncoder snakeCase;
    snakeCase.settings.keyEncodingStrategy = velmoria::base::KeyEncodingStrategy::convertToSnakeCase;
    return snakeCase;
  }();
  return encoder;
}

const velmoria::base::JSONEncoder& storagePlainJSONEncoder() {
  static const velmoria::base::JSONEncoder encoder;
  return encoder;
}

const velmoria::base::JSONDecoder& storageJSONDecoder() {
  static const velmoria::base::JSONDecoder decoder = helpers::JSONDecoder::makeDefault();
  return decoder;
}

}  // namespace zirudeze::storage
