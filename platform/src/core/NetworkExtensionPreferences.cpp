#include "platform/NetworkExtensionPreferences.hpp"

#include <deque>
#include <stop_token>
#include <system_error>
#include <thread>

#include "JsonObjectText.hpp"
#include "base/RegularFile.hpp"
#include "base/ThreadSafety.hpp"
#include "base/XdgDirectories.hpp"
#include "platform/AtomicFile.hpp"
#include "platform/DamagedFile.hpp"

namespace velmoria::platform {
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
  std::optional<std::string> text;
  try {
    text = base::readRegularFile(file, FileNetworkExtensionPreferences::kMaxFileBytes);
  } catch (const std::system_error& error) {
    throw internalError("cannot read " + file.string() + ": " + error.code().message());
  }
  if (!text) return nlohmann::json::object();
  auto root = detail::parseJsonObject(*text);
  if (!root) throw invalid(file.string() + " is damaged");
  return std::move(*root);
}

// For writes: a damaged file is kept for the user rather than silently replaced.
nlohmann::json readFileForUpdate(const std::filesystem::path& file) {
  try {
    return readFile(file);
  } catch (const NetworkExtensionError& error) {
    if (error.code() != NetworkExtensionError::configurationInvalid) throw;
    try {
      keepDamagedFile(file);
    } catch (const std::system_error& keepError) {
      throw internalError(keepError.what());
    }
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

// Runs queued jobs one after another on its own thread.
struct FileNetworkExtensionPreferences::Worker {
  Worker() : thread([this](std::stop_token stop) { work(stop); }) {}
  ~Worker() {
    thread.request_stop();
    wake.notifyAll();
  }

  void enqueue(std::function<void()> job) {
    {
      const base::MutexLock lock(mutex);
      jobs.push_back(std::move(job));
    }
    wake.notifyOne();
  }

  void work(std::stop_token stop) {
    for (;;) {
      std::function<void()> job;
      {
        base::MutexLock lock(mutex);
        // Jobs already queued still run when the object goes away, so no completion is lost.
        wake.wait(lock, stop, [this]() VM_REQUIRES(mutex) { return !jobs.empty(); });
        if (jobs.empty()) return;
        job = std::move(jobs.front());
        jobs.pop_front();
      }
      job();
    }
  }

  base::Mutex mutex;
  base::ConditionVariable wake;
  std::deque<std::function<void()>> jobs VM_GUARDED_BY(mutex);
  std::jthread thread;  // last: stopped and joined before the queue goes
};

FileNetworkExtensionPreferences::FileNetworkExtensionPreferences(std::filesystem::path file)
    : file_(std::move(file)), worker_(std::make_unique<Worker>()) {}

FileNetworkExtensionPreferences::~FileNetworkExtensionPreferences() = default;

void FileNetworkExtensionPreferences::loadFilterConfiguration(LoadCompletion completion) {
  worker_->enqueue([this, completion = std::move(completion)] {
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
  worker_->enqueue([this, configuration = std::move(configuration), completion = std::move(completion)] {
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
  worker_->enqueue([this, completion = std::move(completion)] {
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
  worker_->enqueue([this, identifier = std::move(identifier), completion = std::move(completion)] {
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

struct MemoryNetworkExtensionPreferences::Held {
  base::Mutex mutex;
  std::deque<std::function<void()>> completions VM_GUARDED_BY(mutex);
};

MemoryNetworkExtensionPreferences::MemoryNetworkExtensionPreferences() : held_(std::make_unique<Held>()) {}
MemoryNetworkExtensionPreferences::~MemoryNetworkExtensionPreferences() = default;

void MemoryNetworkExtensionPreferences::finish(std::function<void()> completion) {
  {
    const base::MutexLock lock(held_->mutex);
    if (holdCompletions) {
      held_->completions.push_back(std::move(completion));
      return;
    }
  }
  completion();
}

bool MemoryNetworkExtensionPreferences::completeNext() {
  std::function<void()> completion;
  {
    const base::MutexLock lock(held_->mutex);
    if (held_->completions.empty()) return false;
    completion = std::move(held_->completions.front());
    held_->completions.pop_front();
  }
  completion();
  return true;
}

std::size_t MemoryNetworkExtensionPreferences::heldCompletions() const {
  const base::MutexLock lock(held_->mutex);
  return held_->completions.size();
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

}  // namespace velmoria::platform
