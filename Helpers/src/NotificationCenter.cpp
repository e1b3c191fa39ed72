#include "helpers/NotificationCenter.hpp"

#include <cstdint>
#include <utility>
#include <vector>

#include "base/Immortal.hpp"
#include "concurrency/LockIsolated.hpp"

namespace zirudeze::helpers {

namespace {

struct Registration {
  std::uint64_t key = 0;
  std::optional<std::string> name;
  NotificationCenter::Observer observer;
};

struct Registrations {
  std::uint64_t nextKey = 1;
  std::vector<Registration> entries;
};

}  // namespace

struct NotificationCenter::Shared {
  LockIsolated<Registrations> registrations{Registrations{}};
};

NotificationCenter::NotificationCenter() : shared_(std::make_shared<Shared>()) {}
NotificationCenter::~NotificationCenter() = default;

NotificationCenter& NotificationCenter::defaultCenter() {
  static velmoria::base::Immortal<NotificationCenter> center;
  return *center;
}

ObservationToken NotificationCenter::addObserver(std::optional<std::string> name, Observer observer) {
  const std::uint64_t key = shared_->registrations.withValue([&](Registrations& state) {
    const std::uint64_t made = state.nextKey++;
    state.entries.push_back(Registration{made, std::move(name), std::move(observer)});
    return made;
  });
  return ObservationToken([weak = std::weak_ptr<Shared>(shared_), key] {
    const auto shared = weak.lock();
    if (!shared) return;
    // What the observer captured is released after the lock: its destructor may run code of its own.
    std::vector<Registration> removed;
    shared->registrations.withValue([&](Registrations& state) {
      for (auto it = state.entries.begin(); it != state.entries.end();) {
        if (it->key == key) {
          removed.push_back(std::move(*it));
          it = state.entries.erase(it);
        } else {
          ++it;
        }
      }
    });
  });
}

void NotificationCenter::post(const Notification& notification) const {
  const auto entries = shared_->registrations[&Registrations::entries];
  for (const auto& entry : entries)
    if (!entry.name || *entry.name == notification.name) entry.observer(notification);
}

void NotificationCenter::post(std::string name, std::any object, std::map<std::string, std::any> userInfo) const {
  post(Notification{std::move(name), std::move(object), std::move(userInfo)});
}

}  // namespace zirudeze::helpers
