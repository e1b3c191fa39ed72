#pragma once

#include <QDialog>
#include <QPalette>
#include <QPointer>
#include <optional>

#include "velmoria/AppPickerViewModel.hpp"
#include "velmoria/MacBlocklistStore.hpp"
#include "velmoria/Theme.hpp"

class QLabel;
class QLineEdit;
class QListView;
class QStackedWidget;

namespace velmoria {

class AppListModel;

// The sheet in which the user ticks the apps to block; every click changes the store at once. Each
// sheet owns a new view model, which scans when the sheet is first shown.
class AppPickerView : public QDialog {
  Q_OBJECT

 public:
  explicit AppPickerView(MacBlocklistStore& blocklist, AppPickerViewModel::Scanner scanner = {},
                         QWidget* parent = nullptr);
  ~AppPickerView() override;

  AppPickerViewModel& viewModel() { return *vm_; }
  QString counterText() const;
  bool isShowingProgress() const;
  // Where the row of the filtered list's index sits, in list-viewport coordinates.
  QRect rowRect(int row) const;
  // Toggles the app of a filtered-list row, as a click on it does.
  void clickRow(int row);

  void setColorScheme(std::optional<Appearance> scheme);
  Appearance colorScheme() const;

  QLineEdit* searchField() const { return search_; }
  QListView* listView() const { return list_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void restyle();
  void refresh();

  QPointer<MacBlocklistStore> blocklist_;
  AppPickerViewModel* vm_ = nullptr;
  AppListModel* model_ = nullptr;
  std::optional<Appearance> scheme_;
  QPalette colours_;
  bool shownOnce_ = false;
  QLabel* counter_ = nullptr;
  QLineEdit* search_ = nullptr;
  QStackedWidget* content_ = nullptr;
  QListView* list_ = nullptr;
};

}  // namespace velmoria
