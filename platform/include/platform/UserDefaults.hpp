#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace velmoria::platform {

// A suite that exists but could not be read, or a change that could not be stored. The suite's file is
// left as it was.
class DefaultsError : public std::system_error {
 public:
  using std::system_error::system_error;
};

// One defaults suite: a flat map from key to JSON value. Reads and writes of a stored suite throw
// DefaultsError when its storage fails; a suite with nothing stored reads as empty.
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
// so writers of other keys (in this or another process) are not overwritten. Only a file that was read
// whole and is not a JSON object is damaged: it reads as empty, and the next write keeps a copy of it
// (see keepDamagedFile) before replacing it. A file that cannot be read is an error, never damage.
class FileUserDefaults final : public UserDefaults {
 public:
  explicit FileUserDefaults(std::filesystem::path file);
  ~FileUserDefaults() override;

  std::optional<nlohmann::json> value(const std::string& key) const override;
  void setValue(const std::string& key, const nlohmann::json& value) override;
  void removeValue(const std::string& key) override;

  const std::filesystem::path& file() const;

  // Larger suite files are refused as unreadable rather than taken as damaged.
  static constexpr std::size_t kMaxFileBytes = 16u << 20;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
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

inline constexpr const char* kStandardSuiteName = "standard";
inline constexpr const char* kAppGroupSuiteName = "group.com.tandrelkoss.kelvaton";

}  // namespace velmoria::platform
