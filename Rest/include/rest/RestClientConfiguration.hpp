#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "base/Coding.hpp"
#include "base/URL.hpp"
#include "helpers/HTTPClient.hpp"
#include "helpers/ZirudezeLogger.hpp"
#include "rest/RestDefaults.hpp"

namespace zirudeze::rest {

// Everything a database request is made from. Builders keep a copy taken when they are made.
struct RestClientConfiguration {
  // The database REST root; table names and "rpc/<function>" are appended as path components.
  velmoria::base::URL url;
  // Absent: the service's default schema, and no profile headers.
  std::optional<std::string> schema{};
  // Sent with every request; keys compare exactly (case matters), invalid names are left out.
  std::map<std::string, std::string> headers{};
  helpers::FetchOperation fetch = helpers::HTTPClient::defaultFetch();
  velmoria::base::JSONEncoder encoder = restDefaultEncoder();
  velmoria::base::JSONDecoder decoder = restDefaultDecoder();
  // When present every request is logged and decode failures are reported.
  std::shared_ptr<const helpers::ZirudezeLogger> logger{};
};

}  // namespace zirudeze::rest
