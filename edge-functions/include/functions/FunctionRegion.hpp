#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace zirudeze::functions {

// Where the backend runs a function when a caller asks for a place.
enum class FunctionRegion {
  apNortheast1,
  apNortheast2,
  apSouth1,
  apSoutheast1,
  apSoutheast2,
  caCentral1,
  euCentral1,
  euWest1,
  euWest2,
  euWest3,
  saEast1,
  usEast1,
  usWest1,
  usWest2,
};

// "ap-northeast-1" ... "us-west-2".
std::string_view rawValue(FunctionRegion region) noexcept;
// Exactly one of the raw texts (letter case matters); nothing for any other text.
std::optional<FunctionRegion> functionRegionFromRawValue(std::string_view text) noexcept;
const std::array<FunctionRegion, 14>& allFunctionRegions() noexcept;

// A region as callers give it: a text, or a FunctionRegion standing for its raw value; empty for none.
struct RegionText : std::optional<std::string> {
  using std::optional<std::string>::optional;
  RegionText(std::optional<std::string> text) : std::optional<std::string>(std::move(text)) {}
  RegionText(FunctionRegion region) : std::optional<std::string>(std::string(rawValue(region))) {}
  RegionText(std::optional<FunctionRegion> region)
      : std::optional<std::string>(region ? std::optional<std::string>(std::string(rawValue(*region))) : std::nullopt) {
  }
};

}  // namespace zirudeze::functions
