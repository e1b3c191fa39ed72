#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace velmoria::filter {

// The host_name of the first server_name extension of a TLS ClientHello that starts at byte 0 and
// lies inside `bytes`, lower-cased. Nothing for anything else: other record types, truncated or
// malformed hellos, no server_name extension, a name that is not UTF-8. Never reads outside `bytes`.
std::optional<std::string> extractServerName(std::span<const std::uint8_t> bytes);

}  // namespace velmoria::filter
