#pragma once

#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace velmoria::platform {

// A failed load, save or removal of network-extension preferences.
class NetworkExtensionError : public std::runtime_error {
 public:
  NetworkExtensionError(std::string domain, long code, std::string description)
      : std::runtime_error(description),
        domain_(std::move(domain)),
        code_(code),
        description_(std::move(description)) {}
  const std::string& domain() const { return domain_; }
  long code() const { return code_; }
  const std::string& localizedDescription() const { return description_; }

  static constexpr const char* filterErrorDomain = "NEFilterErrorDomain";
  enum Code : long { configurationInvalid = 1, configurationPermissionDenied = 5, configurationInternalError = 6 };

 private:
  std::string domain_;
  long code_;
  std::string description_;
};

// The content-filter provider's settings. Keys this program does not know are carried through.
struct FilterProviderConfiguration {
  bool filterSockets = false;
  bool filterPackets = false;
  std::optional<nlohmann::json> vendorConfiguration;
  nlohmann::json otherItems = nlohmann::json::object();

  bool operator==(const FilterProviderConfiguration&) const = default;
};

// The app's one content-filter configuration as the preferences hold it.
struct FilterConfiguration {
  std::optional<FilterProviderConfiguration> providerConfiguration;
  std::string localizedDescription;
  bool enabled = false;
  nlohmann::json otherItems = nlohmann::json::object();

  bool operator==(const FilterConfiguration&) const = default;
};

// A transparent-proxy configuration left by an older version of the app; only ever removed.
struct TransparentProxyConfiguration {
  std::string identifier;
  nlohmann::json content = nlohmann::json::object();
};

// The system's network-extension preferences. Every call returns at once; its completion runs later,
// on a thread of the implementation's choosing (callers hop to their own thread).
class NetworkExtensionPreferences {
 public:
  using LoadCompletion = std::function<void(FilterConfiguration, std::optional<NetworkExtensionError>)>;
  using SaveCompletion = std::function<void(std::optional<NetworkExtensionError>)>;
  using ProxiesCompletion =
      std::function<void(std::vector<TransparentProxyConfiguration>, std::optional<NetworkExtensionError>)>;

  virtual ~NetworkExtensionPreferences() = default;

  // Without a stored configuration the result has no provider configuration and no error.
  virtual void loadFilterConfiguration(LoadCompletion completion) = 0;
  virtual void saveFilterConfiguration(FilterConfiguration configuration, SaveCompletion completion) = 0;
  virtual void loadAllTransparentProxyConfigurations(ProxiesCompletion completion) = 0;
  virtual void removeTransparentProxyConfiguration(std::string identifier, SaveCompletion completion) = 0;
};

// The preferences as one JSON file, read by the velmoria-filter daemon:
// {"filterConfiguration": {"enabled", "localizedDescription", "providerConfiguration": {"filterSockets",
//  "filterPackets", "vendorConfiguration", ...}, ...}, "transparentProxyConfigurations": [{"identifier", ...}]}.
// Calls run one after another on a worker thread of this object; each write replaces the file
// atomically. A file that cannot be read fails every call (configurationInternalError). A damaged file
// (read whole, not a JSON object) fails loads, and the next save keeps a copy of it (see keepDamagedFile)
// before replacing it.
class FileNetworkExtensionPreferences final : public NetworkExtensionPreferences {
 public:
  explicit FileNetworkExtensionPreferences(std::filesystem::path file);
  ~FileNetworkExtensionPreferences() override;

  void loadFilterConfiguration(LoadCompletion completion) override;
  void saveFilterConfiguration(FilterConfiguration configuration, SaveCompletion completion) override;
  void loadAllTransparentProxyConfigurations(ProxiesCompletion completion) override;
  void removeTransparentProxyConfiguration(std::string identifier, SaveCompletion completion) override;

  const std::filesystem::path& file() const { return file_; }

  static constexpr std::size_t kMaxFileBytes = 16u << 20;

 private:
  struct Worker;
  const std::filesystem::path file_;
  std::unique_ptr<Worker> worker_;
};

// $XDG_CONFIG_HOME/velmoria/network-extension.json (default ~/.config/velmoria/...).
std::filesystem::path defaultNetworkExtensionPreferencesFile();

// Coding of the file's filter configuration, exposed for the file and its tests.
nlohmann::json encodeFilterConfiguration(const FilterConfiguration& configuration);
// Throws NetworkExtensionError (configurationInvalid) for values of the wrong shape.
FilterConfiguration decodeFilterConfiguration(const nlohmann::json& value);

// In memory, for tests. Records every save and removal. Completions run at once inside the call,
// or, while `holdCompletions` is set, wait until the test releases them.
class MemoryNetworkExtensionPreferences final : public NetworkExtensionPreferences {
 public:
  MemoryNetworkExtensionPreferences();
  ~MemoryNetworkExtensionPreferences() override;

  void loadFilterConfiguration(LoadCompletion completion) override;
  void saveFilterConfiguration(FilterConfiguration configuration, SaveCompletion completion) override;
  void loadAllTransparentProxyConfigurations(ProxiesCompletion completion) override;
  void removeTransparentProxyConfiguration(std::string identifier, SaveCompletion completion) override;

  // Runs the oldest held completion; false when none is held.
  bool completeNext();
  std::size_t heldCompletions() const;

  // State, read and changed by tests (not from other threads while calls run).
  FilterConfiguration stored;
  std::vector<TransparentProxyConfiguration> transparentProxies;
  std::vector<FilterConfiguration> saves;
  std::vector<std::string> removals;
  int loads = 0;
  // Each queued error fails the next call of its kind, oldest first.
  std::deque<NetworkExtensionError> loadErrors;
  std::deque<NetworkExtensionError> saveErrors;
  std::optional<NetworkExtensionError> proxiesLoadError;
  std::optional<NetworkExtensionError> removalError;
  bool holdCompletions = false;

 private:
  void finish(std::function<void()> completion);
  struct Held;
  std::unique_ptr<Held> held_;
};

}  // namespace velmoria::platform
