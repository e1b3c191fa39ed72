#pragma once

#include <string>
#include <string_view>

namespace zirudeze::rest::detail {

// The column list with every white-space character outside double quotes dropped; quotes stay.
std::string cleanedColumns(std::string_view columns);

}  // namespace zirudeze::rest::detail
