#include "base/SecureRandom.hpp"

#include <algorithm>
#include <climits>
#include <stdexcept>

#include <openssl/rand.h>

namespace velmoria::base {

void fillSecureRandom(std::span<std::uint8_t> out) {
  // RAND_bytes takes an int length, so large requests go in slices.
  constexpr std::size_t kSlice = static_cast<std::size_t>(INT_MAX);
  std::size_t done = 0;
  while (done < out.size()) {
    const std::size_t n = std::min(kSlice, out.size() - done);
    if (RAND_bytes(out.data() + done, static_cast<int>(n)) != 1) {
      throw std::runtime_error("secure random generator failed");
    }
    done += n;
  }
}

Data secureRandomBytes(std::size_t count) {
  Data bytes(count);
  fillSecureRandom(bytes);
  return bytes;
}

}  // namespace velmoria::base
