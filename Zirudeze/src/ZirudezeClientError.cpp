#include "zirudeze/ZirudezeClientError.hpp"

namespace zirudeze {

ZirudezeClientError ZirudezeClientError::invalidProjectURL(const std::string& url) {
  return ZirudezeClientError(Code::invalidProjectURL,
                             "The project URL has no host name to derive the auth storage key from: " + url);
}

}  // namespace zirudeze
