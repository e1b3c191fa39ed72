#pragma once

#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace velmoria::base {

// A 128-bit universally unique identifier. The text form is the canonical
// 8-4-4-4-12 hexadecimal form in upper case, whatever case it was parsed from.
class UUID {
 public:
  using Bytes = std::array<std::uint8_t, 16>;

  // The all-zero UUID.
  constexpr UUID() noexcept = default;
  explicit constexpr UUID(const Bytes& bytes) noexcept : bytes_(bytes) {}

  // A random version-4 UUID from the secure random source.
  static UUID random();

  // Accepts exactly the 36-character hyphenated form, hex digits in either case.
  static std::optional<UUID> fromString(std::string_view text);

  const Bytes& bytes() const noexcept { return bytes_; }
  std::string uuidString() const;

  friend constexpr bool operator==(const UUID&, const UUID&) noexcept = default;
  friend constexpr auto operator<=>(const UUID&, const UUID&) noexcept = default;

 private:
  Bytes bytes_{};
};

class Encoder;
class Decoder;
template <class T>
struct Coding;

// Coded as its text form; text that is not a UUID fails as data corrupted.
template <>
struct Coding<UUID> {
  static void encode(const UUID& value, Encoder& encoder);
  static UUID decode(const Decoder& decoder);
};

}  // namespace velmoria::base

template <>
struct std::hash<velmoria::base::UUID> {
  std::size_t operator()(const velmoria::base::UUID& uuid) const noexcept;
};
