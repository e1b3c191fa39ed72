#pragma once

#include "base/Coding.hpp"
#include "base/Data.hpp"
#include "helpers/URLResponse.hpp"
#include "httptypes/HTTPFields.hpp"

namespace zirudeze::helpers {

// What came back for one request, whatever its status; the calling client judges the status.
struct HTTPResponse {
  HTTPResponse(velmoria::base::Data data, HTTPURLResponse response);

  // Decoding errors reach the caller unchanged.
  template <class T>
  T decoded(const velmoria::base::JSONDecoder& decoder) const {
    return decoder.decode<T>(data);
  }

  velmoria::base::Data data;
  http::HTTPFields headers;
  int statusCode = 0;
  HTTPURLResponse underlyingResponse;
};

}  // namespace zirudeze::helpers
