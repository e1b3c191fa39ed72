#include "httptypes/ISOLatin1String.hpp"

#include "base/Unicode.hpp"

namespace zirudeze::http {

ISOLatin1String ISOLatin1String::fromBytes(std::span<const std::uint8_t> bytes) {
  return ISOLatin1String(std::string(bytes.begin(), bytes.end()));
}

std::optional<ISOLatin1String> ISOLatin1String::fromLatin1Text(std::string_view utf8) {
  if (velmoria::base::isASCII(utf8)) return ISOLatin1String(std::string(utf8));
  std::optional<std::string> bytes = velmoria::base::utf8ToLatin1(utf8);
  if (!bytes) return std::nullopt;
  return ISOLatin1String(std::move(*bytes));
}

bool ISOLatin1String::isASCII() const noexcept { return velmoria::base::isASCII(bytes_); }

std::string ISOLatin1String::string() const {
  if (isASCII()) return bytes_;
  return velmoria::base::repairUTF8(bytes_);
}

std::string ISOLatin1String::latin1Text() const {
  if (isASCII()) return bytes_;
  return velmoria::base::latin1ToUTF8(bytes_);
}

}  // namespace zirudeze::http
