#include "velmoria/MacWebBlocklistStore.hpp"

#include <algorithm>
#include <nlohmann/json.hpp>

namespace velmoria {

MacWebBlocklistStore::MacWebBlocklistStore(platform::DefaultsSystem& defaults, QObject* parent)
    : QObject(parent), defaults_(defaults.suite(appGroupID)) {
  if (!defaults_) defaults_ = defaults.standard();
  if (auto stored = defaults_->stringArray(defaultsKey)) {
    domains_ = std::move(*stored);
    std::stable_sort(domains_.begin(), domains_.end(), domainLess);
  }
}

void MacWebBlocklistStore::setDomains(std::vector<std::string> domains) {
  domains_ = std::move(domains);
  emit domainsChanged();
}

bool MacWebBlocklistStore::add(std::string_view text) {
  const auto normalized = normalizeDomain(text);
  if (!normalized) return false;
  const bool listed =
      std::any_of(domains_.begin(), domains_.end(), [&](const std::string& d) { return domainEqual(d, *normalized); });
  if (listed) return false;
  domains_.push_back(*normalized);
  std::stable_sort(domains_.begin(), domains_.end(), domainLess);
  emit domainsChanged();
  save();
  return true;
}

void MacWebBlocklistStore::save() { defaults_->setValue(defaultsKey, nlohmann::json(domains_)); }

}  // namespace velmoria
