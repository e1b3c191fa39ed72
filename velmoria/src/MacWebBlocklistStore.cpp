#include "velmoria/MacWebBlocklistStore.hpp"

#include <algorithm>

#include <nlohmann/json.hpp>

#include "DefaultsFailure.hpp"

namespace velmoria {

MacWebBlocklistStore::MacWebBlocklistStore(platform::DefaultsSystem& defaults, QObject* parent)
    : QObject(parent), defaults_(defaults.suite(appGroupID)) {
  if (!defaults_) defaults_ = defaults.standard();
  loaded_ = mergeStored();
}

bool MacWebBlocklistStore::mergeStored() {
  std::optional<std::vector<std::string>> stored;
  try {
    stored = defaults_->stringArray(defaultsKey);
  } catch (const platform::DefaultsError& error) {
    detail::logDefaultsFailure("blocked sites not read", error);
    return false;
  }
  if (!stored) return true;
  if (domains_.empty()) {
    domains_ = std::move(*stored);
  } else {
    for (auto& domain : *stored) {
      const bool listed =
          std::any_of(domains_.begin(), domains_.end(), [&](const std::string& d) { return domainEqual(d, domain); });
      if (!listed) domains_.push_back(std::move(domain));
    }
  }
  std::stable_sort(domains_.begin(), domains_.end(), domainLess);
  return true;
}

void MacWebBlocklistStore::setDomains(std::vector<std::string> domains) {
  domains_ = std::move(domains);
  Q_EMIT domainsChanged();
}

bool MacWebBlocklistStore::add(std::string_view text) {
  const auto normalized = normalizeDomain(text);
  if (!normalized) return false;
  const bool listed =
      std::any_of(domains_.begin(), domains_.end(), [&](const std::string& d) { return domainEqual(d, *normalized); });
  if (listed) return false;
  domains_.push_back(*normalized);
  std::stable_sort(domains_.begin(), domains_.end(), domainLess);
  Q_EMIT domainsChanged();
  save();
  return true;
}

void MacWebBlocklistStore::save() {
  if (!loaded_) {
    // The stored list was never read: writing this run's list would replace it. Read it once more.
    const auto before = domains_;
    loaded_ = mergeStored();
    if (!loaded_) return;
    if (domains_ != before) Q_EMIT domainsChanged();
  }
  try {
    defaults_->setValue(defaultsKey, nlohmann::json(domains_));
  } catch (const platform::DefaultsError& error) {
    detail::logDefaultsFailure("blocked sites not saved", error);
  }
}

}  // namespace velmoria
