#pragma once

#include <QDialog>
#include <QPointer>
#include <QStringList>
#include <optional>
#include <string>
#include <vector>

#include "velmoria/MacWebBlocklistStore.hpp"
#include "velmoria/Theme.hpp"

class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QStackedWidget;
class QVBoxLayout;
class QHBoxLayout;
class QFrame;

namespace velmoria {

// The sheet in which the user edits the blocked web domains; every change goes straight into the store.
class WebBlocklistView : public QDialog {
  Q_OBJECT

 public:
  static const QStringList& suggestions();

  explicit WebBlocklistView(MacWebBlocklistStore& webBlocklist, QWidget* parent = nullptr);

  // The field's submit and the Add button.
  void addDomain();
  void removeDomain(const std::string& domain);
  // The suggestions not yet in the list, in their fixed order.
  QStringList remainingSuggestions() const;

  QString input() const;
  bool showInvalid() const { return showInvalid_; }
  QString countText() const;
  bool isShowingEmptyState() const;

  // The scheme to draw in; by default the application's current appearance.
  void setColorScheme(std::optional<Appearance> scheme);
  Appearance colorScheme() const;

  QLineEdit* field() const { return field_; }
  QPushButton* addButton() const { return addButton_; }
  QPushButton* doneButton() const { return doneButton_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void setShowInvalid(bool value);
  void rebuild();
  void restyle();

  QPointer<MacWebBlocklistStore> webBlocklist_;
  std::optional<Appearance> scheme_;
  bool showInvalid_ = false;

  QLabel* countLabel_ = nullptr;
  QPushButton* doneButton_ = nullptr;
  QFrame* inputRow_ = nullptr;
  QLabel* inputGlobe_ = nullptr;
  QLineEdit* field_ = nullptr;
  QPushButton* addButton_ = nullptr;
  QLabel* invalidLabel_ = nullptr;
  QScrollArea* chipScroll_ = nullptr;
  QHBoxLayout* chipLayout_ = nullptr;
  QStackedWidget* listStack_ = nullptr;
  QVBoxLayout* rowLayout_ = nullptr;
  QLabel* emptyGlobe_ = nullptr;
};

}  // namespace velmoria
