#include "auth/AuthClientConfiguration.hpp"

#include <utility>

#include "auth/AuthJSONCoders.hpp"
#include "auth/Keychain.hpp"
#include "helpers/ClientVersion.hpp"
#include "helpers/ISO8601Date.hpp"

namespace zirudeze::auth {
namespace {

// The caller's headers win; a default joins only where its exact name is missing.
std::map<std::string, std::string> withDefaultHeaders(std::map<std::string, std::string> headers) {
  for (const auto& [name, value] : AuthClientConfiguration::defaultHeaders()) headers.try_emplace(name, value);
  return headers;
}

}  // namespace

AuthClientConfiguration::AuthClientConfiguration(Parameters parameters)
    : url(parameters.url ? std::move(*parameters.url) : defaultAuthURL()),
      headers(withDefaultHeaders(std::move(parameters.headers))),
      flowType(parameters.flowType),
      redirectToURL(std::move(parameters.redirectToURL)),
      storageKey(std::move(parameters.storageKey)),
      localStorage(parameters.localStorage ? std::move(parameters.localStorage) : defaultLocalStorage()),
      logger(std::move(parameters.logger)),
      encoder(parameters.encoder ? std::move(*parameters.encoder) : jsonEncoder()),
      decoder(parameters.decoder ? std::move(*parameters.decoder) : jsonDecoder()),
      fetch(parameters.fetch ? std::move(parameters.fetch) : helpers::HTTPClient::defaultFetch()),
      autoRefreshToken(parameters.autoRefreshToken),
      emitLocalSessionAsInitialSession(parameters.emitLocalSessionAsInitialSession) {}

AuthClientConfiguration::AuthClientConfiguration(velmoria::base::URL url, std::map<std::string, std::string> headers,
                                                 AuthFlowType flowType, std::shared_ptr<AuthLocalStorage> localStorage,
                                                 velmoria::base::JSONEncoder encoder,
                                                 velmoria::base::JSONDecoder decoder, helpers::FetchOperation fetch)
    : AuthClientConfiguration(Parameters{
          .url = std::move(url),
          .headers = std::move(headers),
          .flowType = flowType,
          .localStorage = std::move(localStorage),
          .encoder = std::move(encoder),
          .decoder = std::move(decoder),
          .fetch = std::move(fetch),
          .autoRefreshToken = true,
          .emitLocalSessionAsInitialSession = false,
      }) {}

const std::map<std::string, std::string>& AuthClientConfiguration::defaultHeaders() {
  static const std::map<std::string, std::string> headers{{"X-Client-Info", "auth-cpp/" + helpers::libraryVersion()}};
  return headers;
}

const velmoria::base::JSONEncoder& AuthClientConfiguration::jsonEncoder() { return AuthJSONCoders::encoder(); }

const velmoria::base::JSONDecoder& AuthClientConfiguration::jsonDecoder() { return AuthJSONCoders::decoder(); }

std::shared_ptr<AuthLocalStorage> AuthClientConfiguration::defaultLocalStorage() {
  static const std::shared_ptr<AuthLocalStorage> storage =
      std::make_shared<KeychainLocalStorage>(Keychain("zirudeze.auth", std::nullopt));
  return storage;
}

std::string_view APIVersion::rawValue(Name name) {
  switch (name) {
    case Name::_20240101:
      break;
  }
  return "2024-01-01";
}

std::optional<APIVersion::Name> APIVersion::nameFromRawValue(std::string_view text) {
  if (text == rawValue(Name::_20240101)) return Name::_20240101;
  return std::nullopt;
}

const std::map<APIVersion::Name, APIVersion>& apiVersions() {
  static const std::map<APIVersion::Name, APIVersion> versions = [] {
    // The fixed text always parses.
    const velmoria::base::Date midnight = *helpers::parseISO8601Date("2024-01-01T00:00:00.0Z");
    return std::map<APIVersion::Name, APIVersion>{
        {APIVersion::Name::_20240101, APIVersion{midnight, APIVersion::Name::_20240101}}};
  }();
  return versions;
}

const http::HTTPField::Name& apiVersionHeaderName() {
  static const http::HTTPField::Name name = *http::HTTPField::Name::make("X-Zirudeze-Api-Version");
  return name;
}

const velmoria::base::URL& defaultAuthURL() {
  static const velmoria::base::URL url = *velmoria::base::URL::parse("http://localhost:8000/auth/v1");
  return url;
}

}  // namespace zirudeze::auth
