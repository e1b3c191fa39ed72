#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "httptypes/HTTPField.hpp"
#include "httptypes/Hasher.hpp"

namespace zirudeze::http {

class HTTPResponse;

// The ":status" pseudo-header field, with the reason phrase carried beside it. Copies share one storage
// object until one of them changes. The phrase takes no part in equality or hashing.
class HTTPResponsePseudoHeaderFields {
 public:
  // The field must be named ":status" and hold exactly three ASCII digits.
  explicit HTTPResponsePseudoHeaderFields(HTTPField status, std::string reasonPhrase = {});

  [[nodiscard]] const HTTPField& status() const noexcept { return storage_->status; }
  // Same requirement as the constructor; the reason phrase stays as it was.
  void setStatus(HTTPField field);

  friend bool operator==(const HTTPResponsePseudoHeaderFields& lhs, const HTTPResponsePseudoHeaderFields& rhs) {
    return lhs.storage_->status == rhs.storage_->status;
  }
  void hash(Hasher& hasher) const noexcept { storage_->status.hash(hasher); }

 private:
  friend class HTTPResponse;

  struct Storage {
    HTTPField status;
    std::string reasonPhrase;
  };

  [[nodiscard]] const std::string& reasonPhrase() const noexcept { return storage_->reasonPhrase; }
  void setReasonPhrase(std::string phrase);
  Storage& unique();

  std::shared_ptr<Storage> storage_;
};

}  // namespace zirudeze::http

template <>
struct std::hash<zirudeze::http::HTTPResponsePseudoHeaderFields> {
  std::size_t operator()(const zirudeze::http::HTTPResponsePseudoHeaderFields& fields) const noexcept {
    return zirudeze::http::Hasher::hashOf(fields);
  }
};
