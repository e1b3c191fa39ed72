#include "storage/StorageError.hpp"

namespace zirudeze::storage {

StorageError::StorageError(std::optional<std::string> statusCode, std::string message, std::optional<std::string> error)
    : statusCode(std::move(statusCode)), message(std::move(message)), error(std::move(error)) {}

StorageError StorageError::decode(const velmoria::base::Decoder& decoder) {
  const auto body = decoder.exactKeyContainer();
  return StorageError(body.decodeIfPresent<std::string>("statusCode"), body.decode<std::string>("message"),
                      body.decodeIfPresent<std::string>("error"));
}

}  // namespace zirudeze::storage
