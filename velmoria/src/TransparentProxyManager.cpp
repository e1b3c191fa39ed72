#include "velmoria/TransparentProxyManager.hpp"

#include <QCoreApplication>
#include <QMetaObject>

namespace velmoria {

// The activation request's answers; they may come on any thread and hop to the main thread.
class TransparentProxyManager::RequestDelegate final : public platform::SystemExtensionRequestDelegate {
 public:
  explicit RequestDelegate(QPointer<TransparentProxyManager> manager) : manager_(std::move(manager)) {}

  platform::ReplacementAction actionForReplacingExtension(const platform::SystemExtensionProperties&,
                                                          const platform::SystemExtensionProperties&) override {
    return platform::ReplacementAction::replace;
  }
  void requestNeedsUserApproval() override {
    post(manager_, [](TransparentProxyManager& manager) { manager.answerNeedsApproval(); });
  }
  void didFinishWithResult(long result) override {
    post(manager_, [result](TransparentProxyManager& manager) { manager.answerFinished(result); });
  }
  void didFailWithError(const platform::SystemExtensionError& error) override {
    post(manager_, [error](TransparentProxyManager& manager) { manager.answerFailed(error); });
  }

 private:
  const QPointer<TransparentProxyManager> manager_;
};

TransparentProxyManager::Dependencies TransparentProxyManager::Dependencies::system() {
  static platform::FileNetworkExtensionPreferences preferences(platform::defaultNetworkExtensionPreferencesFile());
  static platform::LocalSystemExtensionManager extensions(
      std::map<std::string, platform::LocalSystemExtensionManager::Extension>{
          {extensionIdentifier, platform::contentFilterExtension(preferences.file())}},
      platform::LocalSystemExtensionManager::defaultSearchFolders(), platform::systemLog());
  static platform::FileContentFilterStatus status(platform::contentFilterStatusFile(preferences.file()));
  return {preferences, extensions, platform::systemDefaults(), platform::systemLog(), &status};
}

TransparentProxyManager::TransparentProxyManager(Dependencies dependencies, QObject* parent)
    : QObject(parent), dependencies_(dependencies), self_(this), delegate_(std::make_shared<RequestDelegate>(self_)) {
  if (dependencies_.filterStatus != nullptr) {
    dependencies_.filterStatus->observe(
        [guard = self_] { post(guard, [](TransparentProxyManager& manager) { manager.filterStatusChanged(); }); });
  }
  onMain([](TransparentProxyManager& manager) { manager.loadCurrentConfiguration(); });
  activateExtension();
}

TransparentProxyManager::~TransparentProxyManager() = default;

void TransparentProxyManager::post(QPointer<TransparentProxyManager> manager,
                                   std::function<void(TransparentProxyManager&)> work) {
  auto* application = QCoreApplication::instance();
  if (application == nullptr) return;
  QMetaObject::invokeMethod(
      application,
      [manager = std::move(manager), work = std::move(work)] {
        if (manager) work(*manager);
      },
      Qt::QueuedConnection);
}

void TransparentProxyManager::onMain(std::function<void(TransparentProxyManager&)> work) const {
  post(self_, std::move(work));
}

void TransparentProxyManager::log(platform::LogLevel level, const std::string& message) const {
  dependencies_.log.log(level, logSubsystem, logCategory, message);
}

void TransparentProxyManager::setState(State state) {
  if (state == state_) return;
  state_ = std::move(state);
  Q_EMIT stateChanged();
}

std::vector<std::string> TransparentProxyManager::sharedBlockedDomains() const {
  const auto suite = dependencies_.defaults.suite(appGroupID);
  if (!suite) return {};
  return suite->stringArray(blockedDomainsKey).value_or(std::vector<std::string>{});
}

TransparentProxyManager::State TransparentProxyManager::configuredState(bool enabled) const {
  const bool enforcing = dependencies_.filterStatus == nullptr ||
                         dependencies_.filterStatus->current() == platform::ContentFilterRunState::enforcing;
  return enabled && enforcing ? State::running() : State::ready();
}

void TransparentProxyManager::filterStatusChanged() {
  // Only the two configured states follow the filter; a failure or a pending approval stays shown.
  if (!configured_ || (state_.kind != State::Kind::ready && state_.kind != State::Kind::running)) return;
  setState(configuredState(savedEnabled_));
}

void TransparentProxyManager::activateExtension() {
  log(platform::LogLevel::notice, std::string("submitActivationRequest for ") + extensionIdentifier);
  dependencies_.extensions.submitActivationRequest(extensionIdentifier, delegate_);
}

void TransparentProxyManager::answerNeedsApproval() {
  log(platform::LogLevel::notice, "requestNeedsUserApproval");
  setState(State::needsApproval());
}

void TransparentProxyManager::answerFinished(long result) {
  log(platform::LogLevel::notice, "didFinishWithResult: " + std::to_string(result));
  if (result == static_cast<long>(platform::RequestResult::willCompleteAfterReboot)) {
    setState(State::failed("Aktivierung erst nach Neustart abgeschlossen."));
    return;
  }
  onMain([](TransparentProxyManager& manager) { manager.completeActivation(); });
}

void TransparentProxyManager::answerFailed(const platform::SystemExtensionError& error) {
  log(platform::LogLevel::error, "didFailWithError: domain=" + error.domain + " code=" + std::to_string(error.code) +
                                     " desc=" + error.localizedDescription);
  setState(State::failed("Aktivierung fehlgeschlagen: " + error.localizedDescription));
}

void TransparentProxyManager::loadCurrentConfiguration() {
  dependencies_.preferences.loadFilterConfiguration([guard = self_](
                                                        platform::FilterConfiguration configuration,
                                                        std::optional<platform::NetworkExtensionError> error) {
    post(guard, [configuration = std::move(configuration), error = std::move(error)](TransparentProxyManager& manager) {
      if (error) {
        manager.log(platform::LogLevel::error, "loadFromPreferences failed: " + error->localizedDescription());
        return;
      }
      if (configuration.providerConfiguration) {
        manager.configured_ = true;
        manager.savedEnabled_ = configuration.enabled;
        manager.setState(manager.configuredState(configuration.enabled));
      }
      if (manager.configured_) manager.queueSync();
    });
  });
}

void TransparentProxyManager::completeActivation() {
  removeTransparentProxyConfigurations([this] {
    configured_ = true;
    queueSync();
  });
}

void TransparentProxyManager::removeTransparentProxyConfigurations(std::function<void()> then) {
  dependencies_.preferences.loadAllTransparentProxyConfigurations(
      [guard = self_, then = std::move(then)](std::vector<platform::TransparentProxyConfiguration> proxies,
                                              std::optional<platform::NetworkExtensionError> error) mutable {
        post(guard, [proxies = std::move(proxies), failed = error.has_value(),
                     then = std::move(then)](TransparentProxyManager& manager) mutable {
          // Old configurations that cannot be listed are left alone; activation goes on.
          if (failed) proxies.clear();
          manager.removeEach(std::move(proxies), 0, std::move(then));
        });
      });
}

void TransparentProxyManager::removeEach(std::vector<platform::TransparentProxyConfiguration> proxies, std::size_t next,
                                         std::function<void()> then) {
  if (next >= proxies.size()) {
    then();
    return;
  }
  auto identifier = proxies[next].identifier;
  dependencies_.preferences.removeTransparentProxyConfiguration(
      std::move(identifier), [guard = self_, proxies = std::move(proxies), next, then = std::move(then)](auto) mutable {
        // A failed removal is ignored; the walk goes on with the next one.
        post(guard,
             [proxies = std::move(proxies), next, then = std::move(then)](TransparentProxyManager& manager) mutable {
               manager.removeEach(std::move(proxies), next + 1, std::move(then));
             });
      });
}

void TransparentProxyManager::setSessionActive(bool active) {
  sessionActive_ = active;
  if (!configured_) return;
  queueSync();
}

void TransparentProxyManager::queueSync() {
  ++syncChain_.waiting;
  if (!syncChain_.running) startNextSync();
}

void TransparentProxyManager::startNextSync() {
  if (syncChain_.waiting == 0) return;
  --syncChain_.waiting;
  syncChain_.running = true;
  onMain([](TransparentProxyManager& manager) { manager.syncConfiguration(); });
}

void TransparentProxyManager::finishSync() {
  syncChain_.running = false;
  startNextSync();
}

void TransparentProxyManager::syncConfiguration() {
  const auto failed = [](TransparentProxyManager& manager, const platform::NetworkExtensionError& error) {
    manager.setState(State::failed("Filter-Konfiguration fehlgeschlagen: " + error.localizedDescription()));
    manager.finishSync();
  };
  dependencies_.preferences.loadFilterConfiguration([guard = self_, failed](
                                                        platform::FilterConfiguration loaded,
                                                        std::optional<platform::NetworkExtensionError> error) {
    post(guard, [loaded = std::move(loaded), error = std::move(error),
                 failed](TransparentProxyManager& manager) mutable {
      if (error) {
        failed(manager, *error);
        return;
      }
      std::vector<std::string> domains;
      try {
        domains = manager.sharedBlockedDomains();
      } catch (const platform::DefaultsError& defaultsError) {
        failed(manager, platform::NetworkExtensionError(
                            platform::NetworkExtensionError::filterErrorDomain,
                            platform::NetworkExtensionError::configurationInternalError,
                            std::string("The blocked sites could not be read: ") + defaultsError.what()));
        return;
      }
      auto provider = loaded.providerConfiguration.value_or(platform::FilterProviderConfiguration{});
      provider.filterSockets = true;
      provider.filterPackets = false;
      provider.vendorConfiguration = nlohmann::json{{blockedDomainsKey, std::move(domains)}};
      loaded.providerConfiguration = std::move(provider);
      loaded.localizedDescription = filterDescription;
      loaded.enabled = manager.sessionActive_;
      manager.dependencies_.preferences.saveFilterConfiguration(
          std::move(loaded), [guard = manager.self_, failed](std::optional<platform::NetworkExtensionError> saveError) {
            post(guard, [saveError = std::move(saveError), failed](TransparentProxyManager& current) {
              if (saveError) {
                failed(current, *saveError);
                return;
              }
              current.configured_ = true;
              current.savedEnabled_ = current.sessionActive_;
              current.setState(current.configuredState(current.sessionActive_));
              current.finishSync();
            });
          });
    });
  });
}

}  // namespace velmoria
