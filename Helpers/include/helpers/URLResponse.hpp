#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zirudeze::helpers {

// What a transport reports besides the body. Only HTTP transfers produce HTTPURLResponse; any other
// kind is refused by the HTTP client.
struct URLResponse {
  virtual ~URLResponse() = default;

  std::string url;
  // The announced body length; -1 when the server did not say.
  std::int64_t expectedContentLength = -1;
  std::optional<std::string> mimeType;
};

struct HTTPURLResponse : URLResponse {
  int statusCode = 0;
  // One entry per header name (first spelling seen); repeated headers are joined with ", ".
  std::vector<std::pair<std::string, std::string>> allHeaderFields;

  std::optional<std::string> value(std::string_view forHTTPHeaderField) const;
};

}  // namespace zirudeze::helpers
