#pragma once

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/UserDefaults.hpp"

namespace velmoria::platform {

// In-memory suites for tests. Views of the same suite share storage; suites named in `unavailable`
// cannot be opened. Counts writes so tests can tell "nothing was written"; a storage's `failure`, while
// set, fails its reads and writes as an unreadable file would.
class MemoryDefaultsSystem final : public DefaultsSystem {
 public:
  struct Storage {
    std::map<std::string, nlohmann::json> values;
    int writes = 0;
    std::optional<std::errc> failure;
  };
  std::shared_ptr<UserDefaults> standard() override;
  std::shared_ptr<UserDefaults> suite(const std::string& name) override;

  Storage& storage(const std::string& name);
  std::set<std::string> unavailable;
  int suiteOpens = 0;

 private:
  std::map<std::string, std::shared_ptr<Storage>> suites_;
  std::shared_ptr<Storage> shared(const std::string& name);
};

}  // namespace velmoria::platform
