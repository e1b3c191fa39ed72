#include "velmoria_filter/FilterConfiguration.hpp"
#include "base/XdgDirectories.hpp"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace velmoria::filter {

// File layout (written by the app):
// {"filterConfiguration": {"enabled": bool, "localizedDescription": text,
//   "providerConfiguration": {"filterSockets": bool, "filterPackets": bool, "vendorConfiguration": {...}}}}
std::optional<StoredFilterConfiguration> parseFilterPreferences(std::string_view json) {
  const auto root = nlohmann::json::parse(json, nullptr, false);
  if (root.is_discarded() || !root.is_object()) return std::nullopt;
  StoredFilterConfiguration stored;
  const auto manager = root.find("filterConfiguration");
  if (manager == root.end() || !manager->is_object()) return stored;
  if (const auto enabled = manager->find("enabled"); enabled != manager->end() && enabled->is_boolean()) {
    stored.enabled = enabled->get<bool>();
  }
  if (const auto provider = manager->find("providerConfiguration");
      provider != manager->end() && provider->is_object()) {
    ProviderConfiguration configuration;
    if (const auto vendor = provider->find("vendorConfiguration"); vendor != provider->end() && !vendor->is_null()) {
      configuration.vendorConfiguration = *vendor;
    }
    stored.providerConfiguration = std::move(configuration);
  }
  return stored;
}

StoredFilterConfiguration readFilterPreferences(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return {};
  std::ostringstream text;
  text << in.rdbuf();
  return parseFilterPreferences(text.str()).value_or(StoredFilterConfiguration{});
}

std::filesystem::path defaultFilterPreferencesPath() {
  return base::xdgConfigHome() / "velmoria" / "network-extension.json";
}

}  // namespace velmoria::filter
