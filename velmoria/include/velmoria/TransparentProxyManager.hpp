#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ContentFilterHost.hpp"
#include "platform/NetworkExtensionPreferences.hpp"
#include "platform/SystemExtensionRequest.hpp"
#include "platform/SystemLog.hpp"
#include "platform/UserDefaults.hpp"

namespace velmoria {

// Installs the web filter extension and keeps the app's one content-filter configuration: the
// blocked-domain list is copied into it on every save, and it is enabled exactly while a session
// blocks. A main-thread object; platform answers hop back to the main thread before they touch it.
class TransparentProxyManager : public QObject {
  Q_OBJECT

 public:
  struct State {
    enum class Kind { idle, installing, needsApproval, ready, running, failed };
    Kind kind = Kind::idle;
    std::string failure;  // the user-facing text of `failed`; empty otherwise

    static State idle() { return {Kind::idle, {}}; }
    static State installing() { return {Kind::installing, {}}; }
    static State needsApproval() { return {Kind::needsApproval, {}}; }
    static State ready() { return {Kind::ready, {}}; }
    static State running() { return {Kind::running, {}}; }
    static State failed(std::string text) { return {Kind::failed, std::move(text)}; }
    bool operator==(const State&) const = default;
  };

  struct Dependencies {
    platform::NetworkExtensionPreferences& preferences;
    platform::SystemExtensionManager& extensions;
    platform::DefaultsSystem& defaults;
    platform::SystemLog& log;
    // Whether the filter's host enforces; without it an enabled configuration counts as running.
    platform::ContentFilterStatus* filterStatus = nullptr;

    // The preferences file the velmoria-filter daemon reads, the extension executable shipped with
    // the app (started once activated), the daemon's status, the user's defaults and syslog.
    static Dependencies system();
  };

  static constexpr const char* logSubsystem = "com.tandrelkoss.kelvaton";
  static constexpr const char* logCategory = "filtermgr";
  static constexpr const char* extensionIdentifier = "com.tandrelkoss.kelvaton.velmoriaProxy";
  static constexpr const char* appGroupID = "group.com.tandrelkoss.kelvaton";
  static constexpr const char* blockedDomainsKey = "mac.blockedDomains";
  static constexpr const char* filterDescription = "velmoria Web Filter";

  // Starts loading the stored configuration (on the event loop) and submits the activation request.
  explicit TransparentProxyManager(Dependencies dependencies, QObject* parent = nullptr);
  ~TransparentProxyManager() override;

  void activateExtension();
  // Becomes the configuration's enabled flag on the next sync, which is queued at once once a
  // configuration is known to exist.
  void setSessionActive(bool active);

  const State& state() const { return state_; }
  // The home screen writes `installing` here before it asks for the installation again.
  void setState(State state);

  bool isConfigured() const { return configured_; }
  bool sessionActive() const { return sessionActive_; }

  // The list in the shared defaults, unchanged; empty when the suite or key is missing. Throws
  // platform::DefaultsError when the suite is there but cannot be read: then no save happens, since an
  // empty list would let every site through.
  std::vector<std::string> sharedBlockedDomains() const;

 Q_SIGNALS:
  void stateChanged();

 private:
  class RequestDelegate;

  void loadCurrentConfiguration();
  void completeActivation();
  void removeTransparentProxyConfigurations(std::function<void()> then);
  void removeEach(std::vector<platform::TransparentProxyConfiguration> proxies, std::size_t next,
                  std::function<void()> then);
  void queueSync();
  void startNextSync();
  void syncConfiguration();
  void finishSync();

  // `running` only while the configuration is enabled and the filter's host enforces it.
  State configuredState(bool enabled) const;
  void filterStatusChanged();

  void answerNeedsApproval();
  void answerFinished(long result);
  void answerFailed(const platform::SystemExtensionError& error);

  // Runs `work` on the main thread later, unless the manager is gone by then. Safe from any thread.
  static void post(QPointer<TransparentProxyManager> manager, std::function<void(TransparentProxyManager&)> work);
  void onMain(std::function<void(TransparentProxyManager&)> work) const;
  void log(platform::LogLevel level, const std::string& message) const;

  Dependencies dependencies_;
  State state_;
  bool configured_ = false;
  bool sessionActive_ = false;
  bool savedEnabled_ = false;  // as last loaded or saved
  // Syncs run one at a time in the order queued: one may be running and more waiting.
  struct SyncChain {
    bool running = false;
    int waiting = 0;
  };
  SyncChain syncChain_;
  QPointer<TransparentProxyManager> self_;
  std::shared_ptr<RequestDelegate> delegate_;
};

}  // namespace velmoria
