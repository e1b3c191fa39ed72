#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "auth/AuthClientConfiguration.hpp"
#include "auth/AuthEnumerations.hpp"
#include "auth/AuthLocalStorage.hpp"
#include "base/URL.hpp"
#include "base/coding/JSONCoders.hpp"
#include "functions/FunctionRegion.hpp"
#include "helpers/CurlTransport.hpp"
#include "helpers/HTTPTransport.hpp"
#include "helpers/ZirudezeLogger.hpp"
#include "realtime/RealtimeClientOptions.hpp"
#include "rest/RestDefaults.hpp"
#include "storage/StorageHostRewrite.hpp"

namespace zirudeze {

// Everything the facade is set up with besides the project URL and key: one part per client, every field
// with its default, so callers name only what differs:
//   ZirudezeClientOptions{.auth = {.storageKey = "mine"}, .global = {.logger = logger}}
// Leaving out `auth` gives its defaults, as every other part.
struct ZirudezeClientOptions {
  // The database client's settings.
  struct DatabaseOptions {
    // Absent: the service's default schema.
    std::optional<std::string> schema = std::nullopt;
    velmoria::base::JSONEncoder encoder = ::zirudeze::rest::restDefaultEncoder();
    velmoria::base::JSONDecoder decoder = ::zirudeze::rest::restDefaultDecoder();
  };

  // Gives the access token for every request in place of the auth client's session; may throw, may
  // give none. Called from any thread.
  using AccessTokenProvider = std::function<std::optional<std::string>()>;

  // The auth client's settings.
  struct AuthOptions {
    // Where the session is kept: the keychain under the service "zirudeze.auth".
    std::shared_ptr<::zirudeze::auth::AuthLocalStorage> storage =
        ::zirudeze::auth::AuthClientConfiguration::defaultLocalStorage();
    std::optional<velmoria::base::URL> redirectToURL = std::nullopt;
    // Absent: "zd-" + the first label of the project host + "-auth-token".
    std::optional<std::string> storageKey = std::nullopt;
    ::zirudeze::auth::AuthFlowType flowType = ::zirudeze::auth::AuthClientConfiguration::defaultFlowType;
    velmoria::base::JSONEncoder encoder = ::zirudeze::auth::AuthClientConfiguration::jsonEncoder();
    velmoria::base::JSONDecoder decoder = ::zirudeze::auth::AuthClientConfiguration::jsonDecoder();
    bool autoRefreshToken = ::zirudeze::auth::AuthClientConfiguration::defaultAutoRefreshToken;
    bool emitLocalSessionAsInitialSession = false;
    // Set: the source of every access token; the facade then follows no auth events and reports an issue
    // whenever its auth client is asked for.
    AccessTokenProvider accessToken = nullptr;
  };

  // Shared by every client.
  struct GlobalOptions {
    // Added to every client's headers; they replace the facade's own of the same name (any case).
    std::map<std::string, std::string> headers = {};
    // Carries every request of the auth, database, functions (not streamed) and storage clients.
    std::shared_ptr<helpers::HTTPTransport> session = helpers::CurlTransport::shared();
    // For the auth, database, functions, storage and current realtime clients.
    std::shared_ptr<const helpers::ZirudezeLogger> logger = nullptr;
  };

  // The functions client's settings.
  struct FunctionsOptions {
    // The region of every invocation that names none: a text or a FunctionRegion (its raw value).
    ::zirudeze::functions::RegionText region = {};
  };

  // The storage client's settings.
  struct StorageOptions {
    // Moves storage requests onto the deployment's storage host, as `hostRewrite` describes it.
    bool useNewHostname = false;
    // The deployment's host names; the empty rule moves no host.
    ::zirudeze::storage::StorageHostRewrite hostRewrite = {};
  };

  DatabaseOptions db = {};
  AuthOptions auth = {};
  GlobalOptions global = {};
  FunctionsOptions functions = {};
  ::zirudeze::realtime::RealtimeClientOptions realtime = ::zirudeze::realtime::RealtimeClientOptions();
  StorageOptions storage = {};
};

}  // namespace zirudeze
