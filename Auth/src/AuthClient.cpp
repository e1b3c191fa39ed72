#include "auth/AuthClient.hpp"

#include <chrono>
#include <utility>

#include "auth/APIClient.hpp"
#include "auth/ApplicationActivity.hpp"
#include "auth/AuthClientLoggerDecorator.hpp"
#include "auth/AuthHTTPClient.hpp"
#include "auth/Dependencies.hpp"
#include "concurrency/LockIsolated.hpp"
#include "concurrency/Task.hpp"
#include "helpers/NotificationCenter.hpp"
#include "issuereporting/ReportIssue.hpp"

namespace zirudeze::auth {
namespace {

AuthClientID nextClientID() {
  static concurrency::LockIsolated<AuthClientID> counter{AuthClientID{0}};
  return counter.withValue([](AuthClientID& last) { return ++last; });
}

const char* const kInitialSessionIssue =
    "Initial session emitted after attempting to refresh the local stored session.\n"
    "This is incorrect behavior and will be fixed in the next major release since it's a breaking change.\n"
    "To opt-in to the new behavior now, set `emitLocalSessionAsInitialSession: true` in your AuthClient "
    "configuration.\n"
    "The new behavior ensures that the locally stored session is always emitted, regardless of its validity or "
    "expiration.\n"
    "If you rely on the initial session to opt users in, you need to add an additional check for "
    "`session.isExpired` in the session.\n"
    "\n"
    "The README's section \"The initial session\" explains both behaviours.";

// Attaches a listener that is about to get its initial session. With the stored session announced as it
// is, events emitted meanwhile wait for that, or a sign-out could reach the listener before an initial
// session read just ahead of it. The older behaviour lets its own refresh's "TOKEN_REFRESHED" through
// first, as its callers expect.
AuthStateChangeListenerRegistration attachNewListener(const Dependencies& dependencies,
                                                      AuthStateChangeEventEmitter::Listener listener) {
  if (dependencies.configuration.emitLocalSessionAsInitialSession) {
    return dependencies.eventEmitter->attachHeldUntilAddressed(std::move(listener));
  }
  return dependencies.eventEmitter->attach(std::move(listener));
}

}  // namespace

std::shared_ptr<AuthClient> AuthClient::make(Configuration configuration) {
  const AuthClientID id = nextClientID();
  auto http = makeAuthHTTPClient(configuration);
  std::shared_ptr<const helpers::ZirudezeLogger> logger;
  if (configuration.logger) logger = std::make_shared<AuthClientLoggerDecorator>(id, configuration.logger);
  Dependencies::set(id, Dependencies{
                            .configuration = std::move(configuration),
                            .http = std::move(http),
                            .api = APIClient{id, APIClient::defaultSessionCleanupErrorCodes()},
                            .codeVerifierStorage = CodeVerifierStorage::live(id),
                            .sessionStorage = SessionStorage::live(id),
                            .sessionManager = SessionManager::live(id),
                            .eventEmitter = std::make_shared<AuthStateChangeEventEmitter>(),
                            .date = [] { return std::chrono::system_clock::now(); },
                            .urlOpener = URLOpener::live(),
                            .pkce = PKCE::live(),
                            .logger = std::move(logger),
                        });
  std::shared_ptr<AuthClient> client(new AuthClient(id));
  client->observeAppLifecycleChanges();
  return client;
}

// The periodic refresh belongs to the client that follows the application's activity: once the client is
// gone nothing would ever stop it.
AuthClient::~AuthClient() { dependencies()->sessionManager.stopAutoRefresh(); }

std::shared_ptr<const Dependencies> AuthClient::dependencies() const { return Dependencies::get(clientID_); }

void AuthClient::observeAppLifecycleChanges() {
  auto& center = helpers::NotificationCenter::defaultCenter();
  const std::weak_ptr<const AuthClient> client = weak_from_this();
  lifecycleObservations_.push_back(
      center.addObserver(std::string(kApplicationDidBecomeActiveNotification), [client](const helpers::Notification&) {
        if (const auto self = client.lock()) self->handleDidBecomeActive();
      }));
  lifecycleObservations_.push_back(
      center.addObserver(std::string(kApplicationWillResignActiveNotification), [client](const helpers::Notification&) {
        if (const auto self = client.lock()) self->handleWillResignActive();
      }));
}

Session AuthClient::session() const { return dependencies()->sessionManager.session(); }

std::optional<Session> AuthClient::currentSession() const { return dependencies()->sessionStorage.get(); }

std::optional<User> AuthClient::currentUser() const {
  auto session = currentSession();
  if (!session) return std::nullopt;
  return std::move(session->user);
}

void AuthClient::handleDidBecomeActive() const {
  const auto dependencies = this->dependencies();
  if (dependencies->configuration.autoRefreshToken) dependencies->sessionManager.startAutoRefresh();
}

void AuthClient::handleWillResignActive() const {
  const auto dependencies = this->dependencies();
  if (dependencies->configuration.autoRefreshToken) dependencies->sessionManager.stopAutoRefresh();
}

// The manager's switches return at once (the loop is a task of its own), so they are called directly:
// a start and a stop in a row take effect in that order.
void AuthClient::startAutoRefresh() const { dependencies()->sessionManager.startAutoRefresh(); }

void AuthClient::stopAutoRefresh() const { dependencies()->sessionManager.stopAutoRefresh(); }

AuthStateChangeListenerRegistration AuthClient::onAuthStateChange(Listener listener) const {
  const auto registration = attachNewListener(*dependencies(), std::move(listener));
  emitInitialSession(registration);
  return registration;
}

AuthClient::StateChanges AuthClient::authStateChanges() const {
  // No structured binding: clang 14 (the fuzz build) cannot capture one.
  auto made = StateChanges::makeStream(concurrency::BufferingPolicy::unbounded());
  const auto continuation = made.second;
  concurrency::Task([client = weak_from_this(), continuation] {
    const auto self = client.lock();
    if (!self) {
      continuation.finish();
      return;
    }
    const auto registration = attachNewListener(
        *self->dependencies(), [continuation](AuthChangeEvent event, const std::optional<Session>& session) {
          continuation.yield(StateChange{event, session});
        });
    self->emitInitialSession(registration);
    // Runs at once when the consumer has already stopped.
    continuation.setOnTermination([registration](concurrency::StreamTermination) { registration.remove(); });
  });
  return std::move(made.first);
}

void AuthClient::emitInitialSession(const helpers::ObservationToken& token) const {
  const auto dependencies = this->dependencies();
  if (dependencies->configuration.emitLocalSessionAsInitialSession) {
    const auto stored = dependencies->sessionStorage.get();
    dependencies->eventEmitter->emit(AuthChangeEvent::initialSession, stored, token);
    if (!stored || !stored->isExpired(dependencies->date())) return;
    // Refreshes only while the stored session still carries this token: by the time the task runs,
    // another refresh may have rotated it or the user may have signed out, and a used token would sign
    // the user out.
    concurrency::Task([client = weak_from_this(), refreshToken = stored->refreshToken] {
      if (const auto self = client.lock()) self->dependencies()->sessionManager.refreshIfStored(refreshToken);
    });
    return;
  }

  std::optional<Session> session;
  try {
    session = dependencies->sessionManager.session();
  } catch (...) {
    // No session, or its refresh failed: the listener hears that there is none.
  }
  dependencies->eventEmitter->emit(AuthChangeEvent::initialSession, session, token);
  VM_REPORT_ISSUE(std::string(kInitialSessionIssue));
}

}  // namespace zirudeze::auth
