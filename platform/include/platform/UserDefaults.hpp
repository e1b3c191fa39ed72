#pragma once

#include <sys/types.h>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace platform {

// One defaults suite: a flat map from key to JSON value.
class UserDefaults {
 public:
  virtual ~UserDefaults() = default;

  virtual std::optional<nlohmann::json> value(const std::string& key) const = 0;
  virtual void setValue(const std::string& key, const nlohmann::json& value) = 0;
  virtual void removeValue(const std::string& key) = 0;

  // The value as a list of strings; nothing when absent or when it is not an array of strings only.
  std::optional<std::vector<std::string>> stringArray(const std::string& key) const;
  // The value as a Bool; false when absent or not a Bool.
  bool boolValue(const std::string& key) const;
};

// Opens the standard suite and named (app-group) suites.
class DefaultsSystem {
 public:
  virtual ~DefaultsSystem() = default;
  virtual std::shared_ptr<UserDefaults> standard() = 0;
  // A fresh view of the named suite, or nullptr when it cannot be opened.
  virtual std::shared_ptr<UserDefaults> suite(const std::string& name) = 0;
};

// A suite kept in one JSON file. Every read sees the file as it is now (re-parsed when it changed);
// every write re-reads it under an advisory lock, changes the one key and replaces the file atomically,
// so writers of other keys (in this or another process) are not overwritten. A damaged file reads as
// empty and is moved aside to "<file>.corrupt" before the next write replaces it.
class FileUserDefaults final : public UserDefaults {
 public:
  explicit FileUserDefaults(std::filesystem::path file);

  std::optional<nlohmann::json> value(const std::string& key) const override;
  void setValue(const std::string& key, const nlohmann::json& value) override;
  void removeValue(const std::string& key) override;

  const std::filesystem::path& file() const { return file_; }

 private:
  struct Snapshot {
    bool exists = false;
    bool damaged = false;
    nlohmann::json content = nlohmann::json::object();
  };
  Snapshot load() const;
  void update(const std::string& key, const nlohmann::json* value);

  std::filesystem::path file_;
  mutable std::mutex mutex_;
  mutable std::optional<std::tuple<ino_t, std::int64_t, std::int64_t, off_t>> cachedStamp_;
  mutable Snapshot cached_;
};

// Suites as files "<name>.json" under one folder ("standard.json" for the standard suite).
class FileDefaultsSystem final : public DefaultsSystem {
 public:
  explicit FileDefaultsSystem(std::filesystem::path folder);
  std::shared_ptr<UserDefaults> standard() override;
  std::shared_ptr<UserDefaults> suite(const std::string& name) override;
  const std::filesystem::path& folder() const { return folder_; }

 private:
  std::filesystem::path folder_;
};

// $XDG_CONFIG_HOME/velmoria (default ~/.config/velmoria).
std::filesystem::path defaultsFolder();
// The process-wide file-backed defaults over defaultsFolder().
DefaultsSystem& systemDefaults();

// In-memory suites for tests. Views of the same suite share storage; suites named in `unavailable`
// cannot be opened. Counts writes so tests can tell "nothing was written".
class MemoryDefaultsSystem final : public DefaultsSystem {
 public:
  struct Storage {
    std::map<std::string, nlohmann::json> values;
    int writes = 0;
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

inline constexpr const char* kStandardSuiteName = "standard";
inline constexpr const char* kAppGroupSuiteName = "group.com.tandrelkoss.kelvaton";

}  // namespace platform
