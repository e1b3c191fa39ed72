#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "httptypes/Hasher.hpp"

namespace zirudeze::http {

// A field value as the exact bytes that go on the wire. Each byte stands for one ISO Latin-1 character;
// bytes below 0x80 are plain ASCII text.
class ISOLatin1String {
 public:
  ISOLatin1String() = default;

  // The wire bytes as given.
  [[nodiscard]] static ISOLatin1String fromBytes(std::span<const std::uint8_t> bytes);
  [[nodiscard]] static ISOLatin1String fromBytes(std::string_view bytes) { return ISOLatin1String(std::string(bytes)); }
  // Takes over the buffer instead of copying it.
  [[nodiscard]] static ISOLatin1String fromOwnedBytes(std::string bytes) { return ISOLatin1String(std::move(bytes)); }
  // A text goes on the wire as its UTF-8 bytes.
  [[nodiscard]] static ISOLatin1String fromText(std::string_view text) { return ISOLatin1String(std::string(text)); }
  // The Latin-1 reading as UTF-8 text (one code point per wire byte). None when the text is not UTF-8 or
  // holds a character above U+00FF, which no single byte can stand for.
  [[nodiscard]] static std::optional<ISOLatin1String> fromLatin1Text(std::string_view utf8);

  // The text view: ASCII as it is, otherwise the bytes decoded as UTF-8 with U+FFFD for ill-formed parts.
  [[nodiscard]] std::string string() const;

  // The Latin-1 reading of the bytes, written as UTF-8 (0xE9 becomes U+00E9).
  [[nodiscard]] std::string latin1Text() const;

  // The wire bytes, valid while this value lives unchanged.
  [[nodiscard]] const std::string& bytes() const noexcept { return bytes_; }

  template <typename Body>
  decltype(auto) withBytes(Body&& body) const {
    return std::forward<Body>(body)(
        std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes_.data()), bytes_.size()));
  }

  [[nodiscard]] bool isASCII() const noexcept;

  friend bool operator==(const ISOLatin1String&, const ISOLatin1String&) = default;

  void hash(Hasher& hasher) const noexcept { hasher.combine(bytes_); }

 private:
  explicit ISOLatin1String(std::string bytes) : bytes_(std::move(bytes)) {}

  std::string bytes_;
};

}  // namespace zirudeze::http
