#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace zirudeze::http {

// A small, seedless, stable hasher. Values feed their parts in a fixed order, so equal values hash alike
// in every process and every run.
class Hasher {
 public:
  void combine(std::uint8_t byte) noexcept { mix(byte); }

  // Strings end with a marker byte so ("ab", "c") and ("a", "bc") feed different streams.
  void combine(std::string_view text) noexcept {
    for (const char c : text) mix(static_cast<std::uint8_t>(c));
    mix(0xFF);
  }

  [[nodiscard]] std::size_t finalize() const noexcept {
    // splitmix64 finaliser spreads the FNV state over all bits.
    std::uint64_t z = state_ + 0x9E3779B97F4A7C15ULL;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return static_cast<std::size_t>(z ^ (z >> 31));
  }

  template <typename T>
  [[nodiscard]] static std::size_t hashOf(const T& value) noexcept {
    Hasher hasher;
    value.hash(hasher);
    return hasher.finalize();
  }

 private:
  void mix(std::uint8_t byte) noexcept {
    state_ ^= byte;
    state_ *= 0x100000001B3ULL;
  }

  std::uint64_t state_ = 0xCBF29CE484222325ULL;
};

}  // namespace zirudeze::http
