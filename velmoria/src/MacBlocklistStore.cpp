#include "velmoria/MacBlocklistStore.hpp"

#include <nlohmann/json.hpp>

#include "DefaultsFailure.hpp"

namespace velmoria {

MacBlocklistStore::MacBlocklistStore(platform::DefaultsSystem& defaults, QObject* parent)
    : QObject(parent), defaults_(defaults.standard()) {
  loaded_ = mergeStored();
}

bool MacBlocklistStore::mergeStored() {
  try {
    if (auto stored = defaults_->stringArray(defaultsKey)) blockedBundleIDs_.insert(stored->begin(), stored->end());
    return true;
  } catch (const platform::DefaultsError& error) {
    detail::logDefaultsFailure("blocked apps not read", error);
    return false;
  }
}

void MacBlocklistStore::toggle(const std::string& bundleID) {
  if (blockedBundleIDs_.erase(bundleID) == 0) blockedBundleIDs_.insert(bundleID);
  Q_EMIT blockedBundleIDsChanged();
  save();
}

void MacBlocklistStore::save() {
  if (!loaded_) {
    // The stored list was never read: writing this run's set would replace it. Read it once more.
    const auto before = blockedBundleIDs_.size();
    loaded_ = mergeStored();
    if (!loaded_) return;
    if (blockedBundleIDs_.size() != before) Q_EMIT blockedBundleIDsChanged();
  }
  try {
    defaults_->setValue(defaultsKey,
                        nlohmann::json(std::vector<std::string>(blockedBundleIDs_.begin(), blockedBundleIDs_.end())));
  } catch (const platform::DefaultsError& error) {
    detail::logDefaultsFailure("blocked apps not saved", error);
  }
}

}  // namespace velmoria
