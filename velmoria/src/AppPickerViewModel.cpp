#include "velmoria/AppPickerViewModel.hpp"

#include <QMetaObject>
#include <QThreadPool>

#include "base/ThreadSafety.hpp"

namespace velmoria {

// What a worker shares with the model: the model itself, cleared (under the lock) when it is destroyed,
// so a late result is never posted to freed memory. Qt drops events already posted to a deleted object.
struct AppPickerViewModel::Relay {
  explicit Relay(AppPickerViewModel* model) : receiver(model) {}
  base::Mutex mutex;
  AppPickerViewModel* receiver VM_GUARDED_BY(mutex);
};

AppPickerViewModel::AppPickerViewModel(Scanner scanner, QObject* parent)
    : QObject(parent),
      scanner_(scanner ? std::move(scanner) : Scanner([] { return scanInstalledApps(); })),
      relay_(std::make_shared<Relay>(this)) {}

AppPickerViewModel::~AppPickerViewModel() {
  const base::MutexLock lock(relay_->mutex);
  relay_->receiver = nullptr;
}

void AppPickerViewModel::setSearchText(const QString& text) {
  if (text == searchText_) return;
  searchText_ = text;
  Q_EMIT searchTextChanged();
}

std::vector<InstalledApp> AppPickerViewModel::filteredApps() const {
  if (searchText_.isEmpty()) return apps_;
  std::vector<InstalledApp> result;
  for (const auto& app : apps_) {
    if (app.name.contains(searchText_, Qt::CaseInsensitive)) result.push_back(app);
  }
  return result;
}

void AppPickerViewModel::loadApps() {
  if (!apps_.empty() || isLoading_) return;
  isLoading_ = true;
  Q_EMIT isLoadingChanged();
  QThreadPool::globalInstance()->start([relay = relay_, scanner = scanner_] {
    auto metas = scanner();
    const base::MutexLock lock(relay->mutex);
    if (relay->receiver == nullptr) return;
    QMetaObject::invokeMethod(
        relay->receiver,
        [receiver = relay->receiver, metas = std::move(metas)]() mutable { receiver->publish(std::move(metas)); },
        Qt::QueuedConnection);
  });
}

void AppPickerViewModel::publish(std::vector<AppMeta> metas) {
  apps_ = makeInstalledApps(metas);
  Q_EMIT appsChanged();
  isLoading_ = false;
  Q_EMIT isLoadingChanged();
}

}  // namespace velmoria
