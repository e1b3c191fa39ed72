#include "velmoria_filter/FilterConfiguration.hpp"

#include <system_error>

#include "base/RegularFile.hpp"
#include "base/XdgDirectories.hpp"
#include "base/coding/JSONCoders.hpp"

namespace velmoria::filter {

// File layout (written by the app):
// {"filterConfiguration": {"enabled": bool, "localizedDescription": text,
//   "providerConfiguration": {"filterSockets": bool, "filterPackets": bool, "vendorConfiguration": {...}}}}
std::optional<StoredFilterConfiguration> parseFilterPreferences(std::string_view json) {
  // nlohmann stops at a NUL byte and would take what comes before it for the whole document.
  if (base::holdsNulByte(json)) return std::nullopt;
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
  // Someone else's FIFO or device in place of the file must not hang the daemon; what cannot be read
  // counts as no configuration, as a missing file does.
  constexpr std::size_t kMaxFileBytes = 16 * 1024 * 1024;
  try {
    const auto text = base::readRegularFile(file, kMaxFileBytes);
    if (!text) return {};
    return parseFilterPreferences(*text).value_or(StoredFilterConfiguration{});
  } catch (const std::system_error&) {
    return {};
  }
}

std::filesystem::path defaultFilterPreferencesPath() {
  return base::xdgConfigHome() / "velmoria" / "network-extension.json";
}

}  // namespace velmoria::filter
