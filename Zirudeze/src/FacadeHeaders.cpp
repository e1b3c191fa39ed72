#include "FacadeHeaders.hpp"

#include <string_view>

#include "helpers/HTTPFieldsBridging.hpp"
#include "zirudeze/ZirudezeClientError.hpp"

namespace zirudeze::detail {

http::HTTPFields globalHeaders(const std::map<std::string, std::string>& defaults, const std::string& key,
                               const std::map<std::string, std::string>& callerHeaders) {
  auto fields = helpers::fieldsFromDictionary(defaults);
  helpers::merge(fields, helpers::fieldsFromPairs({{"Authorization", "Bearer " + key}, {"Apikey", key}}));
  helpers::merge(fields, helpers::fieldsFromDictionary(callerHeaders));
  return fields;
}

std::string defaultStorageKey(const velmoria::base::URL& projectURL) {
  const auto host = projectURL.host();
  if (host) {
    std::string_view rest = *host;
    while (!rest.empty()) {
      const auto dot = rest.find('.');
      const auto label = rest.substr(0, dot);
      if (!label.empty()) return "zd-" + std::string(label) + "-auth-token";
      if (dot == std::string_view::npos) break;
      rest.remove_prefix(dot + 1);
    }
  }
  throw ZirudezeClientError::invalidProjectURL(projectURL.absoluteString());
}

}  // namespace zirudeze::detail
