#include "helpers/HTTPError.hpp"

#include <base/Unicode.hpp>
#include <string_view>

namespace zirudeze::helpers {
namespace {

std::string describe(const base::Data& data, const HTTPURLResponse& response) {
  std::string text = "Status Code: " + std::to_string(response.statusCode);
  const std::string_view body(reinterpret_cast<const char*>(data.data()), data.size());
  if (base::isValidUTF8(body)) text.append(" Body: ").append(body);
  return text;
}

}  // namespace

HTTPError::HTTPError(base::Data data, HTTPURLResponse response)
    : std::runtime_error(describe(data, response)), data_(std::move(data)), response_(std::move(response)) {}

}  // namespace zirudeze::helpers
