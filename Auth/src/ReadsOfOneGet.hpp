#pragma once

#include <exception>
#include <map>
#include <optional>
#include <string>
#include <variant>

#include "auth/AuthLocalStorage.hpp"

namespace zirudeze::auth::detail {

// The local storage as one session read sees it: each key is read from the storage once, and later
// reads of that key within the same read get what that read (or a write since) left, failures included.
// A read with nothing to migrate then costs one read of each key instead of one per migration.
// Installed for the calling thread while it lives.
class ReadsOfOneGet final : public AuthLocalStorage {
 public:
  explicit ReadsOfOneGet(AuthLocalStorage& storage);
  ~ReadsOfOneGet() override;
  ReadsOfOneGet(const ReadsOfOneGet&) = delete;
  ReadsOfOneGet& operator=(const ReadsOfOneGet&) = delete;

  // The one installed on this thread over `storage`, else `storage` itself.
  static AuthLocalStorage& over(AuthLocalStorage& storage);

  void store(const std::string& key, const velmoria::base::Data& value) override;
  std::optional<velmoria::base::Data> retrieve(const std::string& key) override;
  std::optional<velmoria::base::Data> retrieveIfPresent(const std::string& key) override;
  void remove(const std::string& key) override;

 private:
  // What a read found: the value, that there is none (asked without raising a failure), or a failure.
  struct Absent {};
  using Read = std::variant<velmoria::base::Data, Absent, std::exception_ptr>;

  const Read& readOnce(const std::string& key, bool quietly);

  AuthLocalStorage& storage_;
  ReadsOfOneGet* outer_;
  std::map<std::string, Read> reads_;
};

}  // namespace zirudeze::auth::detail
