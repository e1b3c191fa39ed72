#include "velmoria/MacBlocklistStore.hpp"

#include <nlohmann/json.hpp>

namespace velmoria {

MacBlocklistStore::MacBlocklistStore(platform::DefaultsSystem& defaults, QObject* parent)
    : QObject(parent), defaults_(defaults.standard()) {
  if (auto stored = defaults_->stringArray(defaultsKey)) {
    blockedBundleIDs_.insert(stored->begin(), stored->end());
  }
}

void MacBlocklistStore::toggle(const std::string& bundleID) {
  if (blockedBundleIDs_.erase(bundleID) == 0) blockedBundleIDs_.insert(bundleID);
  emit blockedBundleIDsChanged();
  save();
}

void MacBlocklistStore::save() {
  defaults_->setValue(defaultsKey,
                      nlohmann::json(std::vector<std::string>(blockedBundleIDs_.begin(), blockedBundleIDs_.end())));
}

}  // namespace velmoria
