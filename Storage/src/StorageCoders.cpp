#include "storage/StorageCoders.hpp"

#include <helpers/SharedJSONCoders.hpp>

namespace zirudeze::storage {

const base::JSONEncoder& storageJSONEncoder() {
  static const base::JSONEncoder encoder = [] {
    base::JSONEncoder snakeCase;
    snakeCase.settings.keyEncodingStrategy = base::KeyEncodingStrategy::convertToSnakeCase;
    return snakeCase;
  }();
  return encoder;
}

const base::JSONEncoder& storagePlainJSONEncoder() {
  static const base::JSONEncoder encoder;
  return encoder;
}

const base::JSONDecoder& storageJSONDecoder() {
  static const base::JSONDecoder decoder = helpers::JSONDecoder::makeDefault();
  return decoder;
}

}  // namespace zirudeze::storage
