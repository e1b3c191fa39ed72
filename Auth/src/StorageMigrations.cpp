#include <optional>

#include "ReadsOfOneGet.hpp"
#include "StoredDocuments.hpp"
#include "auth/AuthJSONCoders.hpp"
#include "auth/Dependencies.hpp"
#include "auth/SessionStorage.hpp"
#include "base/coding/Coding.hpp"

namespace zirudeze::auth {
namespace {

// The document under `key`; nothing when there is none or it cannot be read (nothing to migrate then).
std::optional<velmoria::base::Data> readQuietly(AuthLocalStorage& storage, const std::string& key) {
  try {
    return storage.retrieveIfPresent(key);
  } catch (...) {
    return std::nullopt;
  }
}

// Whether `document` holds a session in any form a get reads, now or after the migrations.
bool holdsSession(const velmoria::base::Data& document) {
  using detail::DocumentForm;
  return detail::sessionIn(DocumentForm::current, document) || detail::sessionIn(DocumentForm::wrapped, document) ||
         detail::sessionIn(DocumentForm::snakeCase, document);
}

}  // namespace

void detail::retireOldSession(AuthLocalStorage& storage, const std::string& key) {
  const std::string oldKey(kOldSessionStorageKey);
  if (key == oldKey) return;
  try {
    const auto document = storage.retrieveIfPresent(oldKey);
    if (!document || !holdsSession(*document)) return;
  } catch (...) {
    // Unreadable now, perhaps readable later: gone is the only safe state.
  }
  try {
    storage.remove(oldKey);
  } catch (...) {
    // The next store, removal or read tries again.
  }
}

StorageMigration StorageMigration::sessionNewKey(AuthClientID clientID) {
  return {"sessionNewKey", [clientID] {
            const auto dependencies = Dependencies::get(clientID);
            AuthLocalStorage& storage = detail::ReadsOfOneGet::over(*dependencies->configuration.localStorage);
            const std::string oldKey(kOldSessionStorageKey);
            const std::string key = sessionStorageKey(dependencies->configuration);
            // A client that keeps its session under the old key has nothing to move, and removing the
            // old key would delete the session itself.
            if (key == oldKey) return;
            const auto document = readQuietly(storage, oldKey);
            if (!document) return;
            // Only a session moves, and only where none is: a good current session is never replaced
            // by an old document (which then goes, or it would come back once that session ends), nor
            // anything by a document nobody could read.
            if (!holdsSession(*document)) return;
            if (const auto current = readQuietly(storage, key); current && holdsSession(*current)) {
              detail::retireOldSession(storage, key);
              return;
            }
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
            AuthLocalStorage& storage = detail::ReadsOfOneGet::over(*dependencies->configuration.localStorage);
            const std::string key = sessionStorageKey(dependencies->configuration);
            const auto document = readQuietly(storage, key);
            if (!document) return;
            const auto wrapped = detail::sessionIn(detail::DocumentForm::wrapped, *document);
            if (!wrapped) return;
            storage.store(key, AuthJSONCoders::encoder().encode(*wrapped));
          }};
}

StorageMigration StorageMigration::useDefaultEncoder(AuthClientID clientID) {
  return {"useDefaultEncoder", [clientID] {
            const auto dependencies = Dependencies::get(clientID);
            AuthLocalStorage& storage = detail::ReadsOfOneGet::over(*dependencies->configuration.localStorage);
            const std::string key = sessionStorageKey(dependencies->configuration);
            const auto document = readQuietly(storage, key);
            if (!document) return;
            const auto session = detail::sessionIn(detail::DocumentForm::snakeCase, *document);
            if (!session) return;
            storage.store(key, StoredSessionCoders::encoder().encode(*session));
          }};
}

}  // namespace zirudeze::auth
