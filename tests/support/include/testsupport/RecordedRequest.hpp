#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velmoria::testsupport {

// One request as the fake backend saw it on the wire.
struct RecordedRequest {
  std::string method;
  std::string target;    // as sent: path plus "?" and the raw query, if any
  std::string path;      // percent-decoded path
  std::string rawQuery;  // the query exactly as sent, without "?"
  // Decoded query items in wire order; an item without "=" has no value. "+" stays "+".
  std::vector<std::pair<std::string, std::optional<std::string>>> query;
  std::vector<std::pair<std::string, std::string>> headers;  // in wire order, names as sent
  std::string body;
  int connectionIndex = 0;  // which accepted connection carried it (0-based)

  // First header of that name, compared without regard to case.
  std::optional<std::string> header(std::string_view name) const;
  // Every value of that name, in wire order.
  std::vector<std::string> headerValues(std::string_view name) const;
  // First query item of that name (exact comparison); nullopt when absent or without a value.
  std::optional<std::string> queryValue(std::string_view name) const;
  bool hasQueryItem(std::string_view name) const;
};

}  // namespace velmoria::testsupport
