#pragma once

#include <stdexcept>
#include <string>

#include "base/Data.hpp"
#include "helpers/URLResponse.hpp"

namespace zirudeze::helpers {

// An HTTP answer a client does not accept and cannot explain better.
class HTTPError : public std::runtime_error {
 public:
  HTTPError(velmoria::base::Data data, HTTPURLResponse response);

  const velmoria::base::Data& data() const noexcept { return data_; }
  const HTTPURLResponse& response() const noexcept { return response_; }

  static constexpr std::size_t kDescribedBodyBytes = 1024;

  // "Status Code: <n>", then " Body: <text>" when the body is valid UTF-8. Descriptions end up in logs:
  // the text shows at most kDescribedBodyBytes of the body (then "... (<size> bytes)"), its secrets masked
  // as redactingSecrets says (a JSON body as redactingSecretsInJSON writes it). data() keeps the whole body.
  std::string errorDescription() const { return what(); }
  std::string localizedDescription() const { return what(); }

 private:
  velmoria::base::Data data_;
  HTTPURLResponse response_;
};

}  // namespace zirudeze::helpers
