// Whatever status, API version header and body an unsuccessful answer brings, the request layer turns it
// into an AuthError without throwing or crashing. Input: two bytes of status, then the version header's
// text up to the first NUL (no header without a NUL), then the body.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "auth/APIClient.hpp"
#include "auth/Dependencies.hpp"
#include "auth/Keychain.hpp"
#include "platform/InMemoryKeychainStore.hpp"

namespace auth = zirudeze::auth;
namespace helpers = zirudeze::helpers;

namespace {

struct Client {
  auth::AuthClientID id = 1;

  Client() {
    auto storage = std::make_shared<auth::KeychainLocalStorage>(
        auth::Keychain("zirudeze.auth", std::nullopt, std::make_shared<velmoria::platform::InMemoryKeychainStore>()));
    auth::Dependencies::set(
        id, auth::Dependencies{
                .configuration = auth::AuthClientConfiguration({
                    .url = velmoria::base::URL::parse("http://127.0.0.1:1/auth/v1"),
                    .localStorage = storage,
                }),
                .http = nullptr,
                .api = auth::APIClient{id, auth::APIClient::defaultSessionCleanupErrorCodes()},
                .codeVerifierStorage = auth::CodeVerifierStorage::live(id),
                .sessionStorage = auth::SessionStorage::live(id),
                .sessionManager = {.endSession = [](const auto&) { return std::optional<auth::Session>(); }},
                .eventEmitter = std::make_shared<auth::AuthStateChangeEventEmitter>(),
                .date = [] { return std::chrono::system_clock::now(); },
                .urlOpener = {},
                .pkce = auth::PKCE::live(),
                .logger = nullptr,
            });
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  static const Client client;
  if (size < 2) return 0;
  helpers::HTTPURLResponse response;
  response.url = "http://127.0.0.1:1/auth/v1/token";
  response.statusCode = bytes[0] << 8 | bytes[1];
  std::string_view rest(reinterpret_cast<const char*>(bytes + 2), size - 2);
  if (const auto nul = rest.find('\0'); nul != std::string_view::npos) {
    response.allHeaderFields.emplace_back("X-Zirudeze-Api-Version", std::string(rest.substr(0, nul)));
    rest.remove_prefix(nul + 1);
  }
  try {
    const helpers::HTTPResponse answer(velmoria::base::Data(rest.begin(), rest.end()), response);
    const auth::APIClient api = auth::Dependencies::get(client.id)->api;
    const auth::AuthError error = api.handleError(answer);
    // A service error keeps the answer it came from.
    if (const auto* api = error.as<auth::AuthError::APICase>();
        api && (api->underlyingResponse.statusCode != response.statusCode || api->underlyingData != answer.data)) {
      __builtin_trap();
    }
  } catch (...) {
    __builtin_trap();
  }
  return 0;
}
