#include "rest/RestDefaults.hpp"

#include <helpers/ClientVersion.hpp>
#include <helpers/SharedJSONCoders.hpp>

namespace zirudeze::rest {

const std::map<std::string, std::string>& restDefaultHeaders() {
  static const std::map<std::string, std::string> headers{{"X-Client-Info", "rest-cpp/" + helpers::libraryVersion()}};
  return headers;
}

const base::JSONEncoder& restDefaultEncoder() {
  static const base::JSONEncoder encoder = helpers::JSONEncoder::makeDefault();
  return encoder;
}

const base::JSONDecoder& restDefaultDecoder() {
  static const base::JSONDecoder decoder = helpers::JSONDecoder::makeDefault();
  return decoder;
}

}  // namespace zirudeze::rest
