#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "auth/AuthClientConfiguration.hpp"
#include "auth/Dependencies.hpp"
#include "auth/Keychain.hpp"
#include "helpers/CapturingLogger.hpp"
#include "platform/InMemoryKeychainStore.hpp"

namespace zirudeze::auth::testing {

using RecordingLogger = helpers::CapturingLogger;

// An id no other test in the process uses.
inline AuthClientID freshClientID() {
  static std::atomic<AuthClientID> next{1000};
  return next++;
}

// Registers a client whose parts are the real storages over `localStorage`; the session manager and
// HTTP client are not needed here and stay empty.
inline AuthClientID registerClient(std::shared_ptr<AuthLocalStorage> localStorage,
                                   std::shared_ptr<const helpers::ZirudezeLogger> logger,
                                   std::optional<std::string> storageKey = std::nullopt) {
  const AuthClientID id = freshClientID();
  Dependencies::set(id, Dependencies{
                            .configuration = AuthClientConfiguration({
                                .url = velmoria::base::URL::parse("http://127.0.0.1:1/auth/v1"),
                                .storageKey = std::move(storageKey),
                                .localStorage = std::move(localStorage),
                                .logger = logger,
                            }),
                            .http = nullptr,
                            .api = APIClient{id, {}},
                            .codeVerifierStorage = CodeVerifierStorage::live(id),
                            .sessionStorage = SessionStorage::live(id),
                            .sessionManager = {},
                            .eventEmitter = std::make_shared<AuthStateChangeEventEmitter>(),
                            .date = [] { return std::chrono::system_clock::now(); },
                            .urlOpener = URLOpener::live(),
                            .pkce = PKCE::live(),
                            .logger = logger,
                        });
  return id;
}

// A keychain storage over an in-memory keychain that the test can inspect and make fail.
struct FakeKeychain {
  std::shared_ptr<velmoria::platform::InMemoryKeychainStore> store =
      std::make_shared<velmoria::platform::InMemoryKeychainStore>();
  std::shared_ptr<KeychainLocalStorage> storage =
      std::make_shared<KeychainLocalStorage>(Keychain("zirudeze.auth", std::nullopt, store));

  std::optional<std::string> document(const std::string& key) const {
    const auto items = store->items();
    const auto found = items.find(velmoria::platform::KeychainItemKey{"zirudeze.auth", std::nullopt, key});
    if (found == items.end()) return std::nullopt;
    return velmoria::base::stringFromData(found->second);
  }
  void put(const std::string& key, const std::string& text) const {
    store->write({"zirudeze.auth", std::nullopt, key}, velmoria::base::dataFromString(text));
  }
};

}  // namespace zirudeze::auth::testing
