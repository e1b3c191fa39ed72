#include "rest/RestResponse.hpp"

#include <string_view>

#include "base/Unicode.hpp"

namespace zirudeze::rest {

std::optional<std::string> RestResponse<void>::string() const {
  const std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
  if (!velmoria::base::isValidUTF8(text)) return std::nullopt;
  return std::string(text);
}

}  // namespace zirudeze::rest
