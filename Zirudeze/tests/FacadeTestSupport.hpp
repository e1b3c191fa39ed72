#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "auth/AuthClientOptions.hpp"
#include "auth/Dependencies.hpp"
#include "auth/Keychain.hpp"
#include "base/Coding.hpp"
#include "base/URL.hpp"
#include "platform/InMemoryKeychainStore.hpp"
#include "testsupport/Eventually.hpp"
#include "testsupport/FakeAuth.hpp"
#include "testsupport/FakeBackend.hpp"
#include "testsupport/FakeDatabase.hpp"
#include "testsupport/FakeFunctions.hpp"
#include "testsupport/FakeStorage.hpp"
#include "zirudeze/ZirudezeClient.hpp"

namespace zirudeze::testing {

using velmoria::testsupport::RecordedRequest;

inline const std::string kKey = "project-key";

using velmoria::testsupport::eventually;

// Each token a realtime slot took, with the slot's name, in arrival order across slots.
class TokenRecorder {
 public:
  using Entry = std::pair<std::string, std::string>;

  // `before` runs first inside the receiver, on the listener's thread.
  TokenReceiver receiver(std::string slot, std::function<void(const std::string&)> before = nullptr) {
    return [this, slot = std::move(slot), before = std::move(before)](const std::string& token) {
      if (before) before(token);
      std::lock_guard lock(mutex_);
      entries_.emplace_back(slot, token);
    };
  }
  std::vector<Entry> entries() const {
    std::lock_guard lock(mutex_);
    return entries_;
  }
  // The tokens the current slot took.
  std::vector<std::string> tokens() const {
    std::vector<std::string> found;
    for (const auto& [slot, token] : entries())
      if (slot == "current") found.push_back(token);
    return found;
  }
  bool waitForTokens(std::size_t count) const {
    return eventually([&] { return tokens().size() >= count; });
  }

 private:
  mutable std::mutex mutex_;
  std::vector<Entry> entries_;
};

// A project on the fake backend, with the auth client's keychain in memory.
class FacadeTest : public ::testing::Test {
 protected:
  FacadeTest() {
    database.createTable(
        {.name = "modes",
         .columns = {{.name = "id", .type = velmoria::testsupport::ColumnType::text, .nullable = false},
                     {.name = "name", .type = velmoria::testsupport::ColumnType::text}},
         .primaryKey = {"id"}});
    database.insert("modes", {{"id", "m1"}, {"name", "Deep work"}});
  }

  // The options every test starts from: the keychain in memory, the stored session announced as it is.
  ZirudezeClientOptions options() const {
    ZirudezeClientOptions made;
    made.auth.storage = storage;
    made.auth.emitLocalSessionAsInitialSession = true;
    return made;
  }

  velmoria::base::URL projectURL() const { return *velmoria::base::URL::parse(backend.baseURL()); }

  std::shared_ptr<ZirudezeClient> facade(ZirudezeClientOptions given, RealtimeTokenReceivers receivers = {}) const {
    return ZirudezeClient::make(projectURL(), kKey, std::move(given), std::move(receivers));
  }
  std::shared_ptr<ZirudezeClient> facade() const { return facade(options()); }

  // Signs the address in through the auth client and returns the user's access token.
  std::string signIn(const ZirudezeClient& client, const std::string& email = "ada@example.com") const {
    const auto auth = client.auth();
    auth->signInWithOTP(auth::Email{email});
    const auto response = auth->verifyOTP(auth::Email{email}, *service.lastCode(email), auth::EmailOTPType::email);
    return response.session()->accessToken;
  }

  // Announces an event as the auth client would: the stored session is the announced one (none for
  // an event without a session), so an "INITIAL_SESSION" that arrives late reads what was announced last.
  static void announce(const ZirudezeClient& client, auth::AuthChangeEvent event,
                       const std::optional<std::string>& accessToken) {
    const auto dependencies = auth::Dependencies::get(client.auth()->clientID());
    std::optional<auth::Session> session;
    if (accessToken) {
      session.emplace();
      session->accessToken = *accessToken;
      session->expiresAt = 4e9;
      session->refreshToken = "r";
      dependencies->sessionStorage.store(*session);
    } else {
      dependencies->sessionStorage.remove();
    }
    dependencies->eventEmitter->emit(event, session);
  }

  // Announces a sign-in with `token` until the listener has pushed it once: from then on the listener
  // follows the events, and the token is the one last pushed.
  static bool waitUntilListening(const ZirudezeClient& client, const TokenRecorder& recorder,
                                 const std::string& token = "token-a") {
    return eventually([&] {
      if (!recorder.tokens().empty()) return true;
      announce(client, auth::AuthChangeEvent::signedIn, token);
      return eventually([&] { return !recorder.tokens().empty(); }, std::chrono::milliseconds(20));
    });
  }

  // The requests that reached `path`.
  std::vector<RecordedRequest> requestsTo(const std::string& path) const {
    std::vector<RecordedRequest> found;
    for (auto& request : backend.requests()) {
      if (request.path == path) found.push_back(std::move(request));
    }
    return found;
  }

  velmoria::testsupport::FakeBackend backend;
  velmoria::testsupport::FakeAuth service{backend};
  velmoria::testsupport::FakeDatabase database{backend};
  velmoria::testsupport::FakeFunctions functions{backend};
  velmoria::testsupport::FakeStorage storageService{backend};
  std::shared_ptr<velmoria::platform::InMemoryKeychainStore> keychain =
      std::make_shared<velmoria::platform::InMemoryKeychainStore>();
  std::shared_ptr<auth::KeychainLocalStorage> storage =
      std::make_shared<auth::KeychainLocalStorage>(auth::Keychain("zirudeze.auth", std::nullopt, keychain));
};

// A mode row as the tests read it.
struct Mode {
  std::string id;
  std::optional<std::string> name;

  static Mode decode(const velmoria::base::Decoder& decoder) {
    const auto container = decoder.container();
    return Mode{container.decode<std::string>("id"), container.decodeIfPresent<std::string>("name")};
  }
};

}  // namespace zirudeze::testing
