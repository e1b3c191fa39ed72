#include "auth/CodeVerifierStorage.hpp"

#include <exception>

#include "StorageLogging.hpp"
#include "auth/Dependencies.hpp"
#include "base/Unicode.hpp"
#include "helpers/ErrorDescription.hpp"

namespace zirudeze::auth {
namespace {

constexpr std::string_view kFileID = "Auth/CodeVerifierStorage.cpp";

}  // namespace

std::string codeVerifierKey(const AuthClientConfiguration& configuration) {
  return sessionStorageKey(configuration) + "-code-verifier";
}

CodeVerifierStorage CodeVerifierStorage::live(AuthClientID clientID) {
  return CodeVerifierStorage{
      [clientID]() -> std::optional<std::string> {
        const auto dependencies = Dependencies::get(clientID);
        const auto& configuration = dependencies->configuration;
        std::optional<velmoria::base::Data> data;
        try {
          data = configuration.localStorage->retrieve(codeVerifierKey(configuration));
        } catch (...) {
          logStorageEvent(configuration.logger, helpers::ZirudezeLogLevel::error,
                          "Failure loading code verifier: " + helpers::localizedDescription(std::current_exception()),
                          kFileID, __LINE__);
          return std::nullopt;
        }
        if (!data) {
          logStorageEvent(configuration.logger, helpers::ZirudezeLogLevel::debug, "Code verifier not found.", kFileID,
                          __LINE__);
          return std::nullopt;
        }
        return velmoria::base::repairUTF8(velmoria::base::stringFromData(*data));
      },
      [clientID](const std::optional<std::string>& verifier) {
        const auto dependencies = Dependencies::get(clientID);
        const auto& configuration = dependencies->configuration;
        if (verifier && !velmoria::base::isValidUTF8(*verifier)) {
          logStorageEvent(configuration.logger, helpers::ZirudezeLogLevel::error,
                          "Code verifier is not a valid UTF8 string.", kFileID, __LINE__);
          return;
        }
        try {
          if (verifier)
            configuration.localStorage->store(codeVerifierKey(configuration),
                                              velmoria::base::dataFromString(*verifier));
          else
            configuration.localStorage->remove(codeVerifierKey(configuration));
        } catch (...) {
          logStorageEvent(configuration.logger, helpers::ZirudezeLogLevel::error,
                          "Failure storing code verifier: " + helpers::localizedDescription(std::current_exception()),
                          kFileID, __LINE__);
        }
      },
  };
}

}  // namespace zirudeze::auth
