#include "helpers/HTTPResponse.hpp"

#include "helpers/HTTPFieldsBridging.hpp"

namespace zirudeze::helpers {

HTTPResponse::HTTPResponse(velmoria::base::Data data, HTTPURLResponse response)
    : data(std::move(data)),
      headers(fieldsFromPairs(response.allHeaderFields)),
      statusCode(response.statusCode),
      underlyingResponse(std::move(response)) {}

}  // namespace zirudeze::helpers
