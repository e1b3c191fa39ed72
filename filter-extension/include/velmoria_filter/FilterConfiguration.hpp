#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

#include <nlohmann/json.hpp>

namespace velmoria::filter {

// What the filter needs of the configuration the app saves.
struct ProviderConfiguration {
  // The vendor dictionary as stored, when there is one (any JSON value: the provider checks it).
  std::optional<nlohmann::json> vendorConfiguration;

  bool operator==(const ProviderConfiguration& other) const { return vendorConfiguration == other.vendorConfiguration; }
};

struct StoredFilterConfiguration {
  bool enabled = false;
  std::optional<ProviderConfiguration> providerConfiguration;

  bool operator==(const StoredFilterConfiguration&) const = default;
};

// Reads the app's network-extension preferences file. Nothing when the text is not such a file.
std::optional<StoredFilterConfiguration> parseFilterPreferences(std::string_view json);

// A file that is missing or unreadable counts as no configuration, so the filter stays off.
StoredFilterConfiguration readFilterPreferences(const std::filesystem::path& file);

// $XDG_CONFIG_HOME/velmoria/network-extension.json, or under ~/.config when XDG_CONFIG_HOME is unset.
std::filesystem::path defaultFilterPreferencesPath();

}  // namespace velmoria::filter
