#include "velmoria/BackendClient.hpp"

#include "base/Immortal.hpp"
#include "base/ThreadSafety.hpp"
#include "helpers/CurlTransport.hpp"
#include "realtime/RealtimeClientOptions.hpp"
#include "zirudeze/ZirudezeClientError.hpp"

namespace velmoria {
namespace {

std::string configuredString(const platform::InfoDictionary& info, const char* key) {
  try {
    return info.string(key);
  } catch (const platform::InfoDictionaryError& error) {
    throw ConfigurationError(error.what());
  }
}

}  // namespace

BackendConfiguration readBackendConfiguration(const platform::InfoDictionary& info) {
  const std::string urlText = configuredString(info, kBackendURLKey);
  auto url = base::URL::parse(urlText);
  if (!url) throw ConfigurationError(info.source() + ": " + kBackendURLKey + " is not a URL: \"" + urlText + "\"");
  return {std::move(*url), configuredString(info, kBackendKeyKey)};
}

zirudeze::ZirudezeClientOptions backendClientOptions() {
  zirudeze::ZirudezeClientOptions options;
  options.db.schema = std::nullopt;
  options.db.encoder = zirudeze::rest::restDefaultEncoder();
  options.db.decoder = zirudeze::rest::restDefaultDecoder();
  options.auth.storage = zirudeze::auth::AuthClientConfiguration::defaultLocalStorage();
  options.auth.redirectToURL = std::nullopt;
  options.auth.storageKey = std::nullopt;
  options.auth.flowType = zirudeze::auth::AuthFlowType::pkce;
  options.auth.encoder = zirudeze::auth::AuthClientConfiguration::jsonEncoder();
  options.auth.decoder = zirudeze::auth::AuthClientConfiguration::jsonDecoder();
  options.auth.autoRefreshToken = true;
  options.auth.emitLocalSessionAsInitialSession = true;
  options.auth.accessToken = nullptr;
  options.global.headers = {};
  options.global.session = zirudeze::helpers::CurlTransport::shared();
  options.global.logger = nullptr;
  options.functions.region = {};
  options.realtime = zirudeze::realtime::RealtimeClientOptions(
      /*headers=*/{}, /*heartbeatInterval=*/25, /*reconnectDelay=*/7, /*timeoutInterval=*/10,
      /*disconnectOnSessionLoss=*/true, /*connectOnSubscribe=*/true, /*maxRetryAttempts=*/5, /*logLevel=*/std::nullopt,
      /*fetch=*/{}, /*accessToken=*/{}, /*logger=*/nullptr);
  options.storage.useNewHostname = false;
  return options;
}

std::shared_ptr<zirudeze::ZirudezeClient> makeBackendClient(const BackendConfiguration& configuration,
                                                            zirudeze::ZirudezeClientOptions options) {
  try {
    return zirudeze::ZirudezeClient::make(configuration.url, configuration.key, std::move(options));
  } catch (const zirudeze::ZirudezeClientError& error) {
    throw ConfigurationError(std::string(kBackendURLKey) + " \"" + configuration.url.absoluteString() +
                             "\" is refused: " + error.what());
  }
}

std::shared_ptr<zirudeze::ZirudezeClient> makeBackendClient() {
  // Made once; a failure is not kept, so each call reports it again and no partial client exists. Never
  // destroyed: worker threads may still be using it while the process exits.
  static base::Mutex mutex;
  static base::Immortal<std::shared_ptr<zirudeze::ZirudezeClient>> made VM_GUARDED_BY(mutex);
  const base::MutexLock lock(mutex);
  std::shared_ptr<zirudeze::ZirudezeClient>& client = *made;
  if (!client) {
    const platform::InfoDictionary& info = mainInfoDictionary();
    const auto configuration = readBackendConfiguration(info);
    try {
      client = makeBackendClient(configuration, backendClientOptions());
    } catch (const ConfigurationError& error) {
      throw ConfigurationError(info.source() + ": " + error.what());
    }
  }
  return client;
}

const platform::InfoDictionary& mainInfoDictionary() {
  static base::Mutex mutex;
  static std::optional<platform::InfoDictionary> info VM_GUARDED_BY(mutex);
  const base::MutexLock lock(mutex);
  if (!info) {
    try {
      info = platform::InfoDictionary::load(platform::InfoDictionary::mainFile());
    } catch (const platform::InfoDictionaryError& error) {
      throw ConfigurationError(error.what());
    }
  }
  return *info;
}

std::optional<std::string> ownAppIdentifier(const platform::InfoDictionary& info) {
  try {
    return info.optionalString(kAppIdentifierKey);
  } catch (const platform::InfoDictionaryError& error) {
    throw ConfigurationError(error.what());
  }
}

}  // namespace velmoria
