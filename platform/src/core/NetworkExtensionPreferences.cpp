#include "platform/NetworkExtensionPreferences.hpp"
#include "base/XdgDirectories.hpp"

#include "platform/AtomicFile.hpp"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>

namespace platform {
namespace {

constexpr const char* filterKey = "filterConfiguration";
constexpr const char* proxiesKey = "transparentProxyConfigurations";

NetworkExtensionError invalid(const std::string& why) {
  return NetworkExtensionError(NetworkExtensionError::filterErrorDomain, NetworkExtensionError::configurationInvalid,
                               "The configuration is invalid: " + why);
}

NetworkExtensionError internalError(const std::string& why) {
  return NetworkExtensionError(NetworkExtensionError::filterErrorDomain,
                               NetworkExtensionError::configurationInternalError, why);
}

bool boolAt(const nlohmann::json& object, const char* key) {
  const auto found = object.find(key);
  if (found == object.end()) return false;
  if (!found->is_boolean()) throw invalid(std::string("\"") + key + "\" is not a Bool");
  return found->get<bool>();
}

// The whole file; an empty object when it does not exist. Throws when it cannot be read or parsed.
nlohmann::json readFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::error_code error;
    if (!std::filesystem::exists(file, error)) return nlohmann::json::object();
    throw internalError("cannot read " + file.string());
  }
  std::ostringstream text;
  text << in.rdbuf();
  auto root = nlohmann::json::parse(text.str(), nullptr, false);
  if (root.is_discarded() || !root.is_object()) throw invalid(file.string() + " is damaged");
  return root;
}

// For writes: a damaged file is moved aside rather than silently replaced.
nlohmann::json readFileForUpdate(const std::filesystem::path& file) {
  try {
    return readFile(file);
  } catch (const NetworkExtensionError& error) {
    if (error.code() != NetworkExtensionError::configurationInvalid) throw;
    std::error_code ignored;
    std::filesystem::rename(file, file.string() + ".corrupt", ignored);
    return nlohmann::json::object();
  }
}

void writeFile(const std::filesystem::path& file, const nlohmann::json& root) {
  try {
    std::filesystem::create_directories(file.parent_path());
    writeFileAtomically(file, root.dump(2) + "\n", 0600);
  } catch (const std::exception& error) {
    throw internalError(error.what());
  }
}

}  // namespace

nlohmann::json encodeFilterConfiguration(const FilterConfiguration& configuration) {
  auto value = configuration.otherItems.is_object() ? configuration.otherItems : nlohmann::json::object();
  value["enabled"] = configuration.enabled;
  value["localizedDescription"] = configuration.localizedDescription;
  if (configuration.providerConfiguration) {
    const auto& provider = *configuration.providerConfiguration;
    auto providerValue = provider.otherItems.is_object() ? provider.otherItems : nlohmann::json::object();
    providerValue["filterSockets"] = provider.filterSockets;
    providerValue["filterPackets"] = provider.filterPackets;
    if (provider.vendorConfiguration) {
      providerValue["vendorConfiguration"] = *provider.vendorConfiguration;
    } else {
      providerValue.erase("vendorConfiguration");
    }
    value["providerConfiguration"] = std::move(providerValue);
  } else {
    value.erase("providerConfiguration");
  }
  return value;
}

FilterConfiguration decodeFilterConfiguration(const nlohmann::json& value) {
  if (!value.is_object()) throw invalid("the filter configuration is not an object");
  FilterConfiguration configuration;
  configuration.enabled = boolAt(value, "enabled");
  if (const auto description = value.find("localizedDescription"); description != value.end()) {
    if (!description->is_string()) throw invalid("\"localizedDescription\" is not a text");
    configuration.localizedDescription = description->get<std::string>();
  }
  if (const auto provider = value.find("providerConfiguration"); provider != value.end()) {
    if (!provider->is_object()) throw invalid("\"providerConfiguration\" is not an object");
    FilterProviderConfiguration providerConfiguration;
    providerConfiguration.filterSockets = boolAt(*provider, "filterSockets");
    providerConfiguration.filterPackets = boolAt(*provider, "filterPackets");
    if (const auto vendor = provider->find("vendorConfiguration"); vendor != provider->end() && !vendor->is_null()) {
      providerConfiguration.vendorConfiguration = *vendor;
    }
    providerConfiguration.otherItems = *provider;
    for (const auto* key : {"filterSockets", "filterPackets", "vendorConfiguration"})
      providerConfiguration.otherItems.erase(key);
    configuration.providerConfiguration = std::move(providerConfiguration);
  }
  configuration.otherItems = value;
  for (const auto* key : {"enabled", "localizedDescription", "providerConfiguration"})
    configuration.otherItems.erase(key);
  return configuration;
}

std::filesystem::path defaultNetworkExtensionPreferencesFile() {
  return base::xdgConfigHome() / "velmoria" / "network-extension.json";
}

FileNetworkExtensionPreferences::FileNetworkExtensionPreferences(std::filesystem::path file)
    : file_(std::move(file)), worker_([this](std::stop_token stop) { work(stop); }) {}

FileNetworkExtensionPreferences::~FileNetworkExtensionPreferences() {
  worker_.request_stop();
  wake_.notify_all();
}

void FileNetworkExtensionPreferences::enqueue(std::function<void()> job) {
  {
    const std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
  }
  wake_.notify_one();
}

void FileNetworkExtensionPreferences::work(std::stop_token stop) {
  for (;;) {
    std::function<void()> job;
    {
      std::unique_lock lock(mutex_);
      // Jobs already queued still run when the object goes away, so no completion is lost.
      wake_.wait(lock, stop, [this] { return !jobs_.empty(); });
      if (jobs_.empty()) return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    job();
  }
}

void FileNetworkExtensionPreferences::loadFilterConfiguration(LoadCompletion completion) {
  enqueue([this, completion = std::move(completion)] {
    try {
      const auto root = readFile(file_);
      const auto filter = root.find(filterKey);
      completion(filter == root.end() ? FilterConfiguration{} : decodeFilterConfiguration(*filter), std::nullopt);
    } catch (const NetworkExtensionError& error) {
      completion(FilterConfiguration{}, error);
    }
  });
}

void FileNetworkExtensionPreferences::saveFilterConfiguration(FilterConfiguration configuration,
                                                              SaveCompletion completion) {
  enqueue([this, configuration = std::move(configuration), completion = std::move(completion)] {
    try {
      auto root = readFileForUpdate(file_);
      root[filterKey] = encodeFilterConfiguration(configuration);
      writeFile(file_, root);
      completion(std::nullopt);
    } catch (const NetworkExtensionError& error) {
      completion(error);
    }
  });
}

void FileNetworkExtensionPreferences::loadAllTransparentProxyConfigurations(ProxiesCompletion completion) {
  enqueue([this, completion = std::move(completion)] {
    try {
      const auto root = readFile(file_);
      std::vector<TransparentProxyConfiguration> proxies;
      if (const auto list = root.find(proxiesKey); list != root.end() && list->is_array()) {
        for (const auto& item : *list) {
          if (!item.is_object()) continue;
          TransparentProxyConfiguration proxy;
          const auto identifier = item.find("identifier");
          if (identifier != item.end() && identifier->is_string()) proxy.identifier = identifier->get<std::string>();
          proxy.content = item;
          proxies.push_back(std::move(proxy));
        }
      }
      completion(std::move(proxies), std::nullopt);
    } catch (const NetworkExtensionError& error) {
      completion({}, error);
    }
  });
}

void FileNetworkExtensionPreferences::removeTransparentProxyConfiguration(std::string identifier,
                                                                          SaveCompletion completion) {
  enqueue([this, identifier = std::move(identifier), completion = std::move(completion)] {
    try {
      auto root = readFile(file_);
      auto list = root.find(proxiesKey);
      if (list == root.end() || !list->is_array()) {
        completion(std::nullopt);
        return;
      }
      nlohmann::json kept = nlohmann::json::array();
      for (const auto& item : *list) {
        const bool match = item.is_object() && item.contains("identifier") && item["identifier"] == identifier;
        if (!match) kept.push_back(item);
      }
      *list = std::move(kept);
      writeFile(file_, root);
      completion(std::nullopt);
    } catch (const NetworkExtensionError& error) {
      completion(error);
    }
  });
}

void MemoryNetworkExtensionPreferences::finish(std::function<void()> completion) {
  {
    const std::lock_guard lock(mutex_);
    if (holdCompletions) {
      held_.push_back(std::move(completion));
      return;
    }
  }
  completion();
}

bool MemoryNetworkExtensionPreferences::completeNext() {
  std::function<void()> completion;
  {
    const std::lock_guard lock(mutex_);
    if (held_.empty()) return false;
    completion = std::move(held_.front());
    held_.pop_front();
  }
  completion();
  return true;
}

std::size_t MemoryNetworkExtensionPreferences::heldCompletions() const {
  const std::lock_guard lock(mutex_);
  return held_.size();
}

void MemoryNetworkExtensionPreferences::loadFilterConfiguration(LoadCompletion completion) {
  ++loads;
  std::optional<NetworkExtensionError> error;
  if (!loadErrors.empty()) {
    error = loadErrors.front();
    loadErrors.pop_front();
  }
  auto snapshot = error ? FilterConfiguration{} : stored;
  finish([completion = std::move(completion), snapshot = std::move(snapshot), error] { completion(snapshot, error); });
}

void MemoryNetworkExtensionPreferences::saveFilterConfiguration(FilterConfiguration configuration,
                                                                SaveCompletion completion) {
  saves.push_back(configuration);
  std::optional<NetworkExtensionError> error;
  if (!saveErrors.empty()) {
    error = saveErrors.front();
    saveErrors.pop_front();
  } else {
    stored = std::move(configuration);
  }
  finish([completion = std::move(completion), error] { completion(error); });
}

void MemoryNetworkExtensionPreferences::loadAllTransparentProxyConfigurations(ProxiesCompletion completion) {
  auto proxies = proxiesLoadError ? std::vector<TransparentProxyConfiguration>{} : transparentProxies;
  finish([completion = std::move(completion), proxies = std::move(proxies), error = proxiesLoadError] {
    completion(proxies, error);
  });
}

void MemoryNetworkExtensionPreferences::removeTransparentProxyConfiguration(std::string identifier,
                                                                            SaveCompletion completion) {
  removals.push_back(identifier);
  if (!removalError) {
    std::erase_if(transparentProxies, [&](const auto& proxy) { return proxy.identifier == identifier; });
  }
  finish([completion = std::move(completion), error = removalError] { completion(error); });
}

}  // namespace platform
