#pragma once

#include <cstdint>

namespace zirudeze::auth {

// Identifies one auth client in the process; the key of its dependency registry entry.
using AuthClientID = std::int64_t;

}  // namespace zirudeze::auth
