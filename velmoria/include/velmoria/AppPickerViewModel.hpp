#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "velmoria/InstalledApps.hpp"

namespace velmoria {

// Loads the installed apps off the main thread and filters them by name for the app picker.
class AppPickerViewModel : public QObject {
  Q_OBJECT

 public:
  using Scanner = std::function<std::vector<AppMeta>()>;

  // `scanner` runs on a worker thread; by default the scan of the application folders.
  explicit AppPickerViewModel(Scanner scanner = {}, QObject* parent = nullptr);
  ~AppPickerViewModel() override;

  const std::vector<InstalledApp>& apps() const { return apps_; }
  const QString& searchText() const { return searchText_; }
  void setSearchText(const QString& text);
  bool isLoading() const { return isLoading_; }

  // The apps whose name contains the search text, ignoring case; all of them for an empty text.
  std::vector<InstalledApp> filteredApps() const;

  // Starts a scan unless apps are already loaded; the result is published on the main thread. A scan
  // still running when this model is destroyed finishes on its own and its result is dropped.
  void loadApps();

 Q_SIGNALS:
  void appsChanged();
  void searchTextChanged();
  void isLoadingChanged();

 private:
  struct Relay;
  void publish(std::vector<AppMeta> metas);

  Scanner scanner_;
  std::shared_ptr<Relay> relay_;
  std::vector<InstalledApp> apps_;
  QString searchText_;
  bool isLoading_ = false;
};

}  // namespace velmoria
