#include "auth/Dependencies.hpp"

#include <map>
#include <string>
#include <utility>

#include "base/Immortal.hpp"
#include "concurrency/LockIsolated.hpp"
#include "issuereporting/FatalErrorReporter.hpp"

namespace zirudeze::auth {
namespace {

using Registry = std::map<AuthClientID, std::shared_ptr<const Dependencies>>;

concurrency::LockIsolated<Registry>& registry() {
  static velmoria::base::Immortal<concurrency::LockIsolated<Registry>> entries{Registry{}};
  return *entries;
}

}  // namespace

std::shared_ptr<const Dependencies> Dependencies::get(AuthClientID clientID) {
  auto entry = registry().withValue([&](const Registry& entries) -> std::shared_ptr<const Dependencies> {
    const auto found = entries.find(clientID);
    return found == entries.end() ? nullptr : found->second;
  });
  if (!entry)
    issuereporting::fatalError("Dependencies not found for id: " + std::to_string(clientID), __FILE__, __LINE__);
  return entry;
}

void Dependencies::set(AuthClientID clientID, std::optional<Dependencies> dependencies) {
  auto entry = dependencies ? std::make_shared<const Dependencies>(std::move(*dependencies)) : nullptr;
  registry().withValue([&](Registry& entries) {
    if (entry)
      entries.insert_or_assign(clientID, std::move(entry));
    else
      entries.erase(clientID);
  });
}

}  // namespace zirudeze::auth
