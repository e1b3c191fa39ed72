#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/Data.hpp"
#include "helpers/HTTPBodyStream.hpp"

namespace zirudeze::helpers {

// The transfer-level request a fetch operation receives: what the transport puts on the wire.
struct URLRequest {
  enum class CachePolicy : int { useProtocolCachePolicy = 0 };

  std::string url;  // absolute URL text
  std::string httpMethod = "GET";
  // One value per name as written; lookups ignore letter case.
  std::vector<std::pair<std::string, std::string>> allHTTPHeaderFields;
  std::optional<velmoria::base::Data> httpBody;
  // Read while the request is sent when there is no httpBody. A fetch must send it: it is the body.
  std::shared_ptr<const HTTPBodyStream> httpBodyStream;
  double timeoutInterval = 60;
  CachePolicy cachePolicy = CachePolicy::useProtocolCachePolicy;

  // The first field whose name equals `name` without regard to case.
  std::optional<std::string> value(std::string_view forHTTPHeaderField) const;
  // Replaces every field of that name (any case) by one field; nullopt removes them.
  void setValue(std::optional<std::string> value, std::string_view forHTTPHeaderField);
  // Replaces all fields at once.
  void setAllHTTPHeaderFields(const std::map<std::string, std::string>& fields);
};

bool equalsIgnoringASCIICase(std::string_view a, std::string_view b) noexcept;

}  // namespace zirudeze::helpers
