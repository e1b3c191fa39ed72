#pragma once

#include <optional>
#include <string>

#include "base/Data.hpp"

namespace zirudeze::auth {

// Where the auth client keeps what it persists (the session, the PKCE code verifier): bytes under
// string keys. Every operation may fail by throwing and may be called from any thread.
class AuthLocalStorage {
 public:
  virtual ~AuthLocalStorage() = default;

  virtual void store(const std::string& key, const velmoria::base::Data& value) = 0;
  // Nothing when the storage holds no value for the key (a storage may also report that as a failure).
  virtual std::optional<velmoria::base::Data> retrieve(const std::string& key) = 0;
  // The same, except that a value the storage does not have is nothing, never a failure.
  virtual std::optional<velmoria::base::Data> retrieveIfPresent(const std::string& key) { return retrieve(key); }
  virtual void remove(const std::string& key) = 0;
};

}  // namespace zirudeze::auth
