#pragma once

#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "AuthClientTestSupport.hpp"
#include "auth/AuthClient.hpp"
#include "auth/AuthHTTPClient.hpp"
#include "auth/AuthJSONCoders.hpp"
#include "auth/Dependencies.hpp"
#include "auth/SessionManager.hpp"
#include "testsupport/Eventually.hpp"
#include "testsupport/FakeAuth.hpp"
#include "testsupport/FakeBackend.hpp"

namespace zirudeze::auth::testing {

using velmoria::testsupport::eventually;

// Every state change a client announced, in order.
class EventLog {
 public:
  using Entry = std::pair<AuthChangeEvent, std::optional<Session>>;

  explicit EventLog(AuthStateChangeEventEmitter& emitter)
      : registration_(emitter.attach([this](AuthChangeEvent event, const std::optional<Session>& session) {
          std::lock_guard lock(mutex_);
          entries_.emplace_back(event, session);
        })) {}

  std::vector<Entry> entries() const {
    std::lock_guard lock(mutex_);
    return entries_;
  }
  std::vector<AuthChangeEvent> events() const {
    std::vector<AuthChangeEvent> kinds;
    for (const auto& entry : entries()) kinds.push_back(entry.first);
    return kinds;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<Entry> entries_;
  AuthStateChangeListenerRegistration registration_;
};

// The fake auth service on loopback and clients of it whose keychain is in memory. Retries never wait and
// the session manager runs on the clocks a test gives it.
struct AuthService {
  velmoria::testsupport::FakeBackend backend;
  velmoria::testsupport::FakeAuth service{backend};
  FakeKeychain keychain;
  std::shared_ptr<RecordingLogger> logger = std::make_shared<RecordingLogger>();
  std::shared_ptr<std::vector<double>> retryWaits = std::make_shared<std::vector<double>>();

  AuthClientConfiguration::Parameters parameters() const {
    return AuthClientConfiguration::Parameters{
        .url = velmoria::base::URL::parse(service.url()),
        .storageKey = "zd-test-" + std::to_string(freshClientID()),
        .localStorage = keychain.storage,
        .logger = logger,
        .emitLocalSessionAsInitialSession = true,
    };
  }

  std::shared_ptr<AuthClient> client(AuthClientConfiguration::Parameters parameters,
                                     SessionManagerClocks clocks = {}) const {
    auto client = AuthClient::make(AuthClientConfiguration(std::move(parameters)));
    Dependencies dependencies = *Dependencies::get(client->clientID());
    dependencies.http = makeAuthHTTPClient(dependencies.configuration,
                                           [waits = retryWaits](double seconds) { waits->push_back(seconds); });
    dependencies.sessionManager = SessionManager::live(client->clientID(), std::move(clocks));
    Dependencies::set(client->clientID(), std::move(dependencies));
    return client;
  }
  std::shared_ptr<AuthClient> client(SessionManagerClocks clocks = {}) const {
    return client(parameters(), std::move(clocks));
  }

  // A session the service knows, as the client decodes it, ending `secondsLeft` after `now`.
  Session session(const std::string& email, double secondsLeft,
                  velmoria::base::Date now = std::chrono::system_clock::now()) {
    Session session = AuthJSONCoders::decoder().decode<Session>(service.issueSession(email).dump());
    session.expiresAt = std::chrono::duration<double>(now.time_since_epoch()).count() + secondsLeft;
    return session;
  }

  std::vector<velmoria::testsupport::RecordedRequest> requestsTo(const std::string& path) const {
    std::vector<velmoria::testsupport::RecordedRequest> found;
    for (auto& request : backend.requests()) {
      if (request.path == "/auth/v1/" + path) found.push_back(std::move(request));
    }
    return found;
  }
};

// Runs `body` on a thread of its own; join() waits and hands back what it threw.
class Background {
 public:
  explicit Background(std::function<void()> body)
      : thread_([this, body = std::move(body)] {
          try {
            body();
          } catch (...) {
            failure_ = std::current_exception();
          }
        }) {}
  ~Background() {
    if (thread_.joinable()) thread_.join();
  }
  std::exception_ptr join() {
    thread_.join();
    return failure_;
  }

 private:
  std::exception_ptr failure_;
  std::thread thread_;
};

inline EventLog eventsOf(const AuthClient& client) {
  return EventLog(*Dependencies::get(client.clientID())->eventEmitter);
}

inline std::shared_ptr<const Dependencies> dependenciesOf(const AuthClient& client) {
  return Dependencies::get(client.clientID());
}

inline velmoria::base::Json jsonBody(const velmoria::testsupport::RecordedRequest& request) {
  return velmoria::base::Json::parse(request.body);
}

}  // namespace zirudeze::auth::testing
