#pragma once

#include <memory>

#include "helpers/HTTPClient.hpp"
#include "helpers/HTTPFieldsBridging.hpp"
#include "httptypes/HTTPFields.hpp"
#include "rest/RestBuilder.hpp"

namespace zirudeze::rest {

// Immutable once made, so builders of one client share it instead of copying the configuration.
struct RestBuilder::Context {
  explicit Context(RestClientConfiguration configuration);

  static std::shared_ptr<const Context> make(RestClientConfiguration configuration) {
    return std::make_shared<const Context>(std::move(configuration));
  }

  const RestClientConfiguration configuration;
  // The configuration's headers as fields; copies share their storage until changed.
  const http::HTTPFields headerFields;
  // Sending changes nothing in the client (it is stateless), but its send is not const.
  mutable helpers::HTTPClient http;
};

}  // namespace zirudeze::rest
