#include "httptypes/HTTPField.hpp"

#include <string>

namespace zirudeze::http {
namespace {

constexpr bool isBlank(unsigned char byte) { return byte == ' ' || byte == '\t'; }

// Bytes allowed inside a value: HTAB, SP, visible ASCII and everything from 0x80 up.
constexpr bool isValueByte(unsigned char byte) { return byte == '\t' || (byte >= 0x20 && byte != 0x7F); }

std::string strictlyRepaired(std::string_view bytes) {
  if (HTTPField::isValidValue(bytes)) return std::string(bytes);
  std::string repaired(bytes);
  for (char& c : repaired) {
    if (!isValueByte(static_cast<unsigned char>(c))) c = ' ';
  }
  const auto first = repaired.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  const auto last = repaired.find_last_not_of(" \t");
  return repaired.substr(first, last - first + 1);
}

std::string leniently(std::string_view bytes) {
  std::string repaired(bytes);
  for (char& c : repaired) {
    if (c == '\0' || c == '\n' || c == '\r') c = ' ';
  }
  return repaired;
}

std::string_view asChars(std::span<const std::uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

}  // namespace

bool HTTPField::isValidValue(std::string_view bytes) noexcept {
  if (bytes.empty()) return true;
  if (isBlank(static_cast<unsigned char>(bytes.front())) || isBlank(static_cast<unsigned char>(bytes.back()))) {
    return false;
  }
  for (const char c : bytes) {
    if (!isValueByte(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

HTTPField::HTTPField(Name name, std::string_view value)
    : name_(std::move(name)), rawValue_(ISOLatin1String::fromOwnedBytes(strictlyRepaired(value))) {}

HTTPField HTTPField::fromValueBytes(Name name, std::span<const std::uint8_t> bytes) {
  return HTTPField(std::move(name), ISOLatin1String::fromOwnedBytes(strictlyRepaired(asChars(bytes))), {});
}

HTTPField HTTPField::fromLenientValueBytes(Name name, std::span<const std::uint8_t> bytes) {
  return HTTPField(std::move(name), ISOLatin1String::fromOwnedBytes(leniently(asChars(bytes))), {});
}

void HTTPField::setValue(std::string_view value) {
  rawValue_ = ISOLatin1String::fromOwnedBytes(strictlyRepaired(value));
}

std::string HTTPField::description() const { return name_.rawName() + ": " + value(); }

}  // namespace zirudeze::http
