#include "auth/SessionStorage.hpp"

#include <exception>
#include <utility>

#include "ReadsOfOneGet.hpp"
#include "StorageLogging.hpp"
#include "StoredDocuments.hpp"
#include "auth/AuthJSONCoders.hpp"
#include "auth/Dependencies.hpp"
#include "base/coding/Coding.hpp"
#include "helpers/ErrorDescription.hpp"

namespace zirudeze::auth {
namespace {

constexpr std::string_view kFileID = "Auth/SessionStorage.cpp";

void logError(AuthClientID clientID, const std::string& prefix, std::uint64_t line) {
  const std::string description = helpers::localizedDescription(std::current_exception());
  logStorageEvent(Dependencies::get(clientID)->configuration.logger, helpers::ZirudezeLogLevel::error,
                  prefix + description, kFileID, line);
}

std::optional<Session> getSession(AuthClientID clientID, const std::vector<StorageMigration>& migrations) {
  const auto localStorage = Dependencies::get(clientID)->configuration.localStorage;
  detail::ReadsOfOneGet reads(*localStorage);
  for (const auto& migration : migrations) {
    try {
      migration.run();
    } catch (...) {
      logError(clientID, "Storage migration '" + migration.name + "' failed: ", __LINE__);
    }
  }
  const auto dependencies = Dependencies::get(clientID);
  const auto& configuration = dependencies->configuration;
  std::optional<velmoria::base::Data> data;
  try {
    data = detail::ReadsOfOneGet::over(*configuration.localStorage).retrieve(sessionStorageKey(configuration));
  } catch (...) {
    logError(clientID, "Failed to retrieve session: ", __LINE__);
    return std::nullopt;
  }
  if (!data) return std::nullopt;
  try {
    return detail::decodeCurrent(*data);
  } catch (...) {
    logError(clientID, "Failed to retrieve session: ", __LINE__);
    return std::nullopt;
  }
}

void storeSession(AuthClientID clientID, const Session& session) {
  try {
    const auto dependencies = Dependencies::get(clientID);
    const auto& configuration = dependencies->configuration;
    const velmoria::base::Data document = StoredSessionCoders::encoder().encode(session);
    const std::string key = sessionStorageKey(configuration);
    configuration.localStorage->store(key, document);
    detail::retireOldSession(*configuration.localStorage, key);
  } catch (...) {
    logError(clientID, "Failed to store session: ", __LINE__);
  }
}

void removeSession(AuthClientID clientID) {
  const auto dependencies = Dependencies::get(clientID);
  const auto& configuration = dependencies->configuration;
  const std::string key = sessionStorageKey(configuration);
  try {
    configuration.localStorage->remove(key);
  } catch (...) {
    logError(clientID, "Failed to delete session: ", __LINE__);
  }
  // Whatever the removal's outcome, nothing may move in afterwards.
  detail::retireOldSession(*configuration.localStorage, key);
}

}  // namespace

std::string sessionStorageKey(const AuthClientConfiguration& configuration) {
  return configuration.storageKey.value_or(std::string(kDefaultStorageKey));
}

StoredSession StoredSession::decode(const velmoria::base::Decoder& decoder) {
  const auto c = decoder.container();
  return StoredSession{c.decode<Session>("session"), c.decode<velmoria::base::Date>("expirationDate")};
}

SessionStorage SessionStorage::live(AuthClientID clientID) {
  return live(clientID, {StorageMigration::sessionNewKey(clientID), StorageMigration::storeSessionDirectly(clientID),
                         StorageMigration::useDefaultEncoder(clientID)});
}

SessionStorage SessionStorage::live(AuthClientID clientID, std::vector<StorageMigration> migrations) {
  return SessionStorage{
      [clientID, migrations = std::move(migrations)] { return getSession(clientID, migrations); },
      [clientID](const Session& session) { storeSession(clientID, session); },
      [clientID] { removeSession(clientID); },
  };
}

}  // namespace zirudeze::auth
