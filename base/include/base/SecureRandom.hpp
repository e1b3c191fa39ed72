#pragma once

#include "base/Data.hpp"

#include <cstddef>
#include <cstdint>
#include <span>

namespace base {

// Bytes from the operating system's cryptographic generator (through OpenSSL).
// Throws std::runtime_error when the generator cannot deliver; never returns weak bytes.
void fillSecureRandom(std::span<std::uint8_t> out);
Data secureRandomBytes(std::size_t count);

}  // namespace base
