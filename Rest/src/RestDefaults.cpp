#include "rest/RestDefaults.hpp"

#include "helpers/ClientVersion.hpp"
#include "helpers/SharedJSONCoders.hpp"

namespace zirudeze::rest {

const std::map<std::string, std::string>& restDefaultHeaders() {
  static const std::map<std::string, std::string> headers{{"X-Client-Info", "rest-cpp/" + helpers::libraryVersion()}};
  return headers;
}

const velmoria::base::JSONEncoder& restDefaultEncoder() {
  static const velmoria::base::JSONEncoder encoder = helpers::JSONEncoder::makeDefault();
  return encoder;
}

const velmoria::base::JSONDecoder& restDefaultDecoder() {
  static const velmoria::base::JSONDecoder decoder = helpers::JSONDecoder::makeDefault();
  return decoder;
}

}  // namespace zirudeze::rest
