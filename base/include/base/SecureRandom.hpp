#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "base/Data.hpp"

namespace velmoria::base {

// Bytes from the operating system's cryptographic generator (through OpenSSL).
// Throws std::runtime_error when the generator cannot deliver; never returns weak bytes.
void fillSecureRandom(std::span<std::uint8_t> out);
Data secureRandomBytes(std::size_t count);

}  // namespace velmoria::base
