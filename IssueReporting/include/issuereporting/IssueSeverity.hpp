#pragma once

#include <cstdint>

namespace zirudeze::issuereporting {

enum class IssueSeverity : std::int64_t { warning = 0, error = 1 };

}  // namespace zirudeze::issuereporting
