// Whatever bytes lie in the keychain under the old and the current session key, reading the session
// runs the migrations and answers a session or nothing; it never throws and never crashes. The input is
// the two documents, split at the first NUL byte (all of it is the current document without one).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "auth/Dependencies.hpp"
#include "auth/Keychain.hpp"
#include "platform/InMemoryKeychainStore.hpp"

namespace auth = zirudeze::auth;
namespace helpers = zirudeze::helpers;

namespace {

class DiscardingLogger final : public helpers::ZirudezeLogger {
 public:
  void log(const helpers::ZirudezeLogMessage&) const override {}
};

struct Client {
  std::shared_ptr<velmoria::platform::InMemoryKeychainStore> keychain =
      std::make_shared<velmoria::platform::InMemoryKeychainStore>();
  auth::AuthClientID id = 1;

  Client() {
    auto storage =
        std::make_shared<auth::KeychainLocalStorage>(auth::Keychain("zirudeze.auth", std::nullopt, keychain));
    auto logger = std::make_shared<DiscardingLogger>();
    auth::Dependencies::set(id, auth::Dependencies{
                                    .configuration = auth::AuthClientConfiguration({
                                        .url = velmoria::base::URL::parse("http://127.0.0.1:1/auth/v1"),
                                        .localStorage = storage,
                                        .logger = logger,
                                    }),
                                    .http = nullptr,
                                    .api = auth::APIClient{id, {}},
                                    .codeVerifierStorage = auth::CodeVerifierStorage::live(id),
                                    .sessionStorage = auth::SessionStorage::live(id),
                                    .sessionManager = {},
                                    .eventEmitter = std::make_shared<auth::AuthStateChangeEventEmitter>(),
                                    .date = [] { return std::chrono::system_clock::now(); },
                                    .urlOpener = {},
                                    .pkce = auth::PKCE::live(),
                                    .logger = logger,
                                });
  }

  void put(std::string_view key, std::string_view document) const {
    keychain->write({"zirudeze.auth", std::nullopt, std::string(key)},
                    velmoria::base::Data(document.begin(), document.end()));
  }
  void clear() const {
    for (const auto& [key, value] : keychain->items()) keychain->remove(key);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  static const Client client;
  const std::string_view input(reinterpret_cast<const char*>(bytes), size);
  const auto split = input.find('\0');
  client.clear();
  if (split == std::string_view::npos) {
    client.put(auth::kDefaultStorageKey, input);
  } else {
    client.put(auth::kOldSessionStorageKey, input.substr(0, split));
    client.put(auth::kDefaultStorageKey, input.substr(split + 1));
  }
  const auto dependencies = auth::Dependencies::get(client.id);
  const auto& storage = dependencies->sessionStorage;
  try {
    if (const auto session = storage.get()) {
      // What was read can be stored and read again.
      storage.store(*session);
      if (!storage.get()) __builtin_trap();
    }
  } catch (...) {
    __builtin_trap();
  }
  return 0;
}
