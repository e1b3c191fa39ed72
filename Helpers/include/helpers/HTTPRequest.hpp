#pragma once

#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "base/Data.hpp"
#include "base/URL.hpp"
#include "base/URLComponents.hpp"
#include "helpers/HTTPBodyStream.hpp"
#include "helpers/URLRequest.hpp"
#include "httptypes/HTTPFields.hpp"
#include "httptypes/HTTPRequestMethod.hpp"

namespace zirudeze::helpers {

// One call a backend client makes: where, how, with which query items, headers and body.
struct HTTPRequest {
  using Method = http::HTTPRequestMethod;

  HTTPRequest(velmoria::base::URL url, Method method, std::vector<velmoria::base::URLQueryItem> query = {},
              http::HTTPFields headers = {}, std::optional<velmoria::base::Data> body = std::nullopt,
              double timeoutInterval = 60);

  // Nothing when the text is not a valid URL.
  static std::optional<HTTPRequest> make(std::string_view urlString, Method method,
                                         std::vector<velmoria::base::URLQueryItem> query = {},
                                         http::HTTPFields headers = {},
                                         std::optional<velmoria::base::Data> body = std::nullopt,
                                         double timeoutInterval = 60);

  // The transfer request: query items appended, one header per written name, and "Content-Type"
  // "application/json" for a body (or body stream) that names no content type.
  URLRequest urlRequest() const&;
  // The same, taking the body over instead of copying it.
  URLRequest urlRequest() &&;

  velmoria::base::URL url;
  Method method;
  std::vector<velmoria::base::URLQueryItem> query;
  http::HTTPFields headers;
  std::optional<velmoria::base::Data> body;
  double timeoutInterval = 60;
  // The body read while the request is sent, for bodies too large to hold; used when `body` is absent.
  std::shared_ptr<const HTTPBodyStream> bodyStream;
};

}  // namespace zirudeze::helpers
