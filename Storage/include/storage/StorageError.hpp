#pragma once

#include <exception>
#include <optional>
#include <string>

#include "base/Coding.hpp"

namespace zirudeze::storage {

// The error body the storage service answers a refused request with.
class StorageError : public std::exception {
 public:
  StorageError(std::optional<std::string> statusCode, std::string message, std::optional<std::string> error);

  // The service's own code text ("404"), which need not be the HTTP status of the reply.
  std::optional<std::string> statusCode;
  std::string message;
  std::optional<std::string> error;

  const char* what() const noexcept override { return message.c_str(); }
  const std::string& localizedDescription() const noexcept { return message; }

  // Keys "statusCode", "message" (required) and "error", matched exactly.
  static StorageError decode(const velmoria::base::Decoder& decoder);

  friend bool operator==(const StorageError& a, const StorageError& b) {
    return a.statusCode == b.statusCode && a.message == b.message && a.error == b.error;
  }
};

}  // namespace zirudeze::storage
