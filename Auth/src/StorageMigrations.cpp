#include <optional>

#include "auth/AuthJSONCoders.hpp"
#include "auth/Dependencies.hpp"
#include "auth/SessionStorage.hpp"
#include "base/coding/Coding.hpp"
#include "base/coding/CodingErrors.hpp"

namespace zirudeze::auth {
namespace {

// The document under `key`; nothing when there is none or it cannot be read (nothing to migrate then).
std::optional<base::Data> readQuietly(AuthLocalStorage& storage, const std::string& key) {
  try {
    return storage.retrieve(key);
  } catch (...) {
    return std::nullopt;
  }
}

// Reads `data` as T with `decoder`; nothing when it is not in that form.
template <class T>
std::optional<T> decodedOrNothing(const base::JSONDecoder& decoder, const base::Data& data) {
  try {
    return decoder.decode<T>(data);
  } catch (const base::DecodingError&) {
    return std::nullopt;
  }
}

}  // namespace

StorageMigration StorageMigration::sessionNewKey(AuthClientID clientID) {
  return {"sessionNewKey", [clientID] {
            const auto dependencies = Dependencies::get(clientID);
            AuthLocalStorage& storage = *dependencies->configuration.localStorage;
            const std::string oldKey(kOldSessionStorageKey);
            const std::string key = sessionStorageKey(dependencies->configuration);
            // A client that keeps its session under the old key has nothing to move, and removing the
            // old key would delete the session itself.
            if (key == oldKey) return;
            const auto document = readQuietly(storage, oldKey);
            if (!document) return;
            storage.store(key, *document);
            try {
              storage.remove(oldKey);
            } catch (...) {
              // The next get moves it again; nothing is lost.
            }
          }};
}

StorageMigration StorageMigration::storeSessionDirectly(AuthClientID clientID) {
  return {"storeSessionDirectly", [clientID] {
            const auto dependencies = Dependencies::get(clientID);
            AuthLocalStorage& storage = *dependencies->configuration.localStorage;
            const std::string key = sessionStorageKey(dependencies->configuration);
            const auto document = readQuietly(storage, key);
            if (!document) return;
            const auto wrapper = decodedOrNothing<StoredSession>(AuthJSONCoders::decoder(), *document);
            if (!wrapper) return;
            storage.store(key, AuthJSONCoders::encoder().encode(wrapper->session));
          }};
}

StorageMigration StorageMigration::useDefaultEncoder(AuthClientID clientID) {
  return {"useDefaultEncoder", [clientID] {
            const auto dependencies = Dependencies::get(clientID);
            AuthLocalStorage& storage = *dependencies->configuration.localStorage;
            const std::string key = sessionStorageKey(dependencies->configuration);
            const auto document = readQuietly(storage, key);
            if (!document) return;
            const auto session = decodedOrNothing<Session>(AuthJSONCoders::decoder(), *document);
            if (!session) return;
            storage.store(key, StoredSessionCoders::encoder().encode(*session));
          }};
}

}  // namespace zirudeze::auth
