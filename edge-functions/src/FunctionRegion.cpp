#include "functions/FunctionRegion.hpp"

#include <utility>

namespace zirudeze::functions {
namespace {

constexpr std::array<std::pair<FunctionRegion, std::string_view>, 14> kRegions{{
    {FunctionRegion::apNortheast1, "ap-northeast-1"},
    {FunctionRegion::apNortheast2, "ap-northeast-2"},
    {FunctionRegion::apSouth1, "ap-south-1"},
    {FunctionRegion::apSoutheast1, "ap-southeast-1"},
    {FunctionRegion::apSoutheast2, "ap-southeast-2"},
    {FunctionRegion::caCentral1, "ca-central-1"},
    {FunctionRegion::euCentral1, "eu-central-1"},
    {FunctionRegion::euWest1, "eu-west-1"},
    {FunctionRegion::euWest2, "eu-west-2"},
    {FunctionRegion::euWest3, "eu-west-3"},
    {FunctionRegion::saEast1, "sa-east-1"},
    {FunctionRegion::usEast1, "us-east-1"},
    {FunctionRegion::usWest1, "us-west-1"},
    {FunctionRegion::usWest2, "us-west-2"},
}};

}  // namespace

std::string_view rawValue(FunctionRegion region) noexcept {
  for (const auto& [candidate, text] : kRegions)
    if (candidate == region) return text;
  return {};
}

std::optional<FunctionRegion> functionRegionFromRawValue(std::string_view text) noexcept {
  for (const auto& [candidate, raw] : kRegions)
    if (raw == text) return candidate;
  return std::nullopt;
}

const std::array<FunctionRegion, 14>& allFunctionRegions() noexcept {
  static constexpr std::array<FunctionRegion, 14> all = [] {
    std::array<FunctionRegion, 14> regions{};
    for (std::size_t i = 0; i < kRegions.size(); ++i) regions[i] = kRegions[i].first;
    return regions;
  }();
  return all;
}

}  // namespace zirudeze::functions
