#pragma once

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "base/URL.hpp"
#include "platform/InfoDictionary.hpp"
#include "zirudeze/ZirudezeClient.hpp"
#include "zirudeze/ZirudezeClientOptions.hpp"

namespace velmoria {

// The app is not configured to run: the text names the file and the value at fault.
class ConfigurationError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr const char* kBackendURLKey = "ZIRUDEZE_URL";
inline constexpr const char* kBackendKeyKey = "ZIRUDEZE_KEY";
// The app's own identifier as the workspace reports running apps; the blocker never terminates it.
inline constexpr const char* kAppIdentifierKey = "VELMORIA_APP_ID";

struct BackendConfiguration {
  base::URL url;
  std::string key;
};

// The project URL and key of the information dictionary. Throws ConfigurationError for a
// missing key, a value that is not a string, or a URL that does not parse.
BackendConfiguration readBackendConfiguration(const platform::InfoDictionary& info);

// The options every backend client of the app is made with.
zirudeze::ZirudezeClientOptions backendClientOptions();

// Makes a client from the configuration; throws ConfigurationError when the facade refuses it.
std::shared_ptr<zirudeze::ZirudezeClient> makeBackendClient(const BackendConfiguration& configuration,
                                                            zirudeze::ZirudezeClientOptions options);

// The process's one backend client, made on the first call from the app's information dictionary and
// kept until the process ends. Throws ConfigurationError (again on each call) while the
// dictionary does not configure a usable backend.
std::shared_ptr<zirudeze::ZirudezeClient> makeBackendClient();

// The app's information dictionary, read once per process (again on each call while it cannot be).
// Throws ConfigurationError.
const platform::InfoDictionary& mainInfoDictionary();

// The app's own identifier from the information dictionary; nothing when it names none. Throws
// ConfigurationError when it is not a string.
std::optional<std::string> ownAppIdentifier(const platform::InfoDictionary& info);

}  // namespace velmoria
