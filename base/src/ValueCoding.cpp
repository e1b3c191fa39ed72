#include "base/URL.hpp"
#include "base/UUID.hpp"
#include "base/coding/Decoder.hpp"
#include "base/coding/Encoder.hpp"

namespace velmoria::base {

void Coding<UUID>::encode(const UUID& value, Encoder& encoder) { encoder.json() = value.uuidString(); }

UUID Coding<UUID>::decode(const Decoder& decoder) {
  const auto uuid = UUID::fromString(decoder.requireString());
  if (!uuid) throw decoder.dataCorrupted("Attempted to decode UUID from invalid UUID string.");
  return *uuid;
}

void Coding<URL>::encode(const URL& value, Encoder& encoder) { encoder.json() = value.absoluteString(); }

URL Coding<URL>::decode(const Decoder& decoder) {
  auto url = URL::parse(decoder.requireString());
  if (!url) throw decoder.dataCorrupted("Invalid URL string.");
  return std::move(*url);
}

}  // namespace velmoria::base
