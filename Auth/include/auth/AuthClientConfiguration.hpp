#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "auth/AuthEnumerations.hpp"
#include "auth/AuthLocalStorage.hpp"
#include "base/Date.hpp"
#include "base/URL.hpp"
#include "base/coding/JSONCoders.hpp"
#include "helpers/HTTPClient.hpp"
#include "helpers/ZirudezeLogger.hpp"
#include "httptypes/HTTPField.hpp"

namespace zirudeze::auth {

// Everything one auth client is set up with. A plain value, fixed once built.
struct AuthClientConfiguration {
  // The twelve settings in field order; what a caller leaves out takes its default.
  struct Parameters {
    // Absent: defaultAuthURL().
    std::optional<velmoria::base::URL> url = std::nullopt;
    std::map<std::string, std::string> headers = {};
    AuthFlowType flowType = AuthFlowType::pkce;
    std::optional<velmoria::base::URL> redirectToURL = std::nullopt;
    std::optional<std::string> storageKey = std::nullopt;
    // Null: defaultLocalStorage().
    std::shared_ptr<AuthLocalStorage> localStorage = nullptr;
    std::shared_ptr<const helpers::ZirudezeLogger> logger = nullptr;
    // Absent: jsonEncoder() and jsonDecoder().
    std::optional<velmoria::base::JSONEncoder> encoder = std::nullopt;
    std::optional<velmoria::base::JSONDecoder> decoder = std::nullopt;
    // Empty: the process's libcurl transfer.
    helpers::FetchOperation fetch = nullptr;
    bool autoRefreshToken = true;
    bool emitLocalSessionAsInitialSession = false;
  };

  explicit AuthClientConfiguration(Parameters parameters);

  // The initialiser of earlier versions: no redirect address, storage key or logger, automatic refresh
  // on, and no local session reported as the initial one.
  AuthClientConfiguration(velmoria::base::URL url, std::map<std::string, std::string> headers, AuthFlowType flowType,
                          std::shared_ptr<AuthLocalStorage> localStorage,
                          velmoria::base::JSONEncoder encoder = jsonEncoder(),
                          velmoria::base::JSONDecoder decoder = jsonDecoder(), helpers::FetchOperation fetch = nullptr);

  // Where the auth service lives; request paths ("otp", "token", "user", ...) go below it.
  velmoria::base::URL url;
  // Sent with every request: the caller's, plus each default header whose exact name the caller lacks.
  std::map<std::string, std::string> headers;
  AuthFlowType flowType;
  std::optional<velmoria::base::URL> redirectToURL;
  std::optional<std::string> storageKey;
  std::shared_ptr<AuthLocalStorage> localStorage;
  std::shared_ptr<const helpers::ZirudezeLogger> logger;
  velmoria::base::JSONEncoder encoder;
  velmoria::base::JSONDecoder decoder;
  helpers::FetchOperation fetch;
  bool autoRefreshToken;
  bool emitLocalSessionAsInitialSession;

  // "X-Client-Info": "auth-cpp/" and the library version.
  static const std::map<std::string, std::string>& defaultHeaders();
  static constexpr AuthFlowType defaultFlowType = AuthFlowType::pkce;
  static constexpr bool defaultAutoRefreshToken = true;
  // The shared coders' dates with snake-case keys on the wire; made once, safe from any thread.
  static const velmoria::base::JSONEncoder& jsonEncoder();
  static const velmoria::base::JSONDecoder& jsonDecoder();
  // The keychain storage of service "zirudeze.auth" (no access group), made on first use.
  static std::shared_ptr<AuthLocalStorage> defaultLocalStorage();
};

// A version of the auth service's interface, sent in "X-Zirudeze-Api-Version".
struct APIVersion {
  enum class Name { _20240101 };

  velmoria::base::Date timestamp;
  Name name;

  static std::string_view rawValue(Name name);
  // Nothing for any text but a known version's.
  static std::optional<Name> nameFromRawValue(std::string_view text);
};

// The known versions: one, 2024-01-01 at midnight UTC.
const std::map<APIVersion::Name, APIVersion>& apiVersions();
// "X-Zirudeze-Api-Version".
const http::HTTPField::Name& apiVersionHeaderName();
// The local development auth endpoint, used when no URL is given.
const velmoria::base::URL& defaultAuthURL();

}  // namespace zirudeze::auth
