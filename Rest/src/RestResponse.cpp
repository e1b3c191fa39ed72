#include "rest/RestResponse.hpp"

#include <base/Unicode.hpp>
#include <string_view>

namespace zirudeze::rest {

std::optional<std::string> RestResponse<void>::string() const {
  const std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
  if (!base::isValidUTF8(text)) return std::nullopt;
  return std::string(text);
}

}  // namespace zirudeze::rest
