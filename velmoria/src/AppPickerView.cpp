#include "velmoria/AppPickerView.hpp"

#include <QAbstractListModel>
#include <QCoreApplication>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include "velmoria/ScreenPalette.hpp"
#include "velmoria/SymbolIcon.hpp"

namespace velmoria {
namespace {

QString localized(const char* text) { return QCoreApplication::translate("AppPickerView", text); }

constexpr int kIcon = 28;
constexpr int kRowSpacing = 12;
constexpr int kSymbol = 18;
constexpr int kRowHeight = kIcon + 2 * 2 + 8;

}  // namespace

// The filtered apps as list rows; whether a row is ticked is read from the store when it is painted.
class AppListModel : public QAbstractListModel {
 public:
  using QAbstractListModel::QAbstractListModel;

  void setApps(std::vector<InstalledApp> apps) {
    beginResetModel();
    apps_ = std::move(apps);
    endResetModel();
  }
  const InstalledApp* app(int row) const {
    return row >= 0 && row < static_cast<int>(apps_.size()) ? &apps_[static_cast<std::size_t>(row)] : nullptr;
  }
  int rowCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : static_cast<int>(apps_.size());
  }
  QVariant data(const QModelIndex& index, int role) const override {
    const InstalledApp* a = app(index.row());
    if (a == nullptr) return {};
    if (role == Qt::DisplayRole) return a->name;
    if (role == Qt::UserRole) return a->id;
    if (role == Qt::DecorationRole) return a->icon;
    return {};
  }

 private:
  std::vector<InstalledApp> apps_;
};

namespace {

class AppRowDelegate : public QStyledItemDelegate {
 public:
  AppRowDelegate(const AppListModel& model, QPointer<MacBlocklistStore> store, const QPalette& colours, QObject* parent)
      : QStyledItemDelegate(parent), model_(model), store_(std::move(store)), colours_(colours) {}

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override {
    return QSize(option.rect.width(), kRowHeight);
  }

  void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    const InstalledApp* app = model_.app(index.row());
    if (app == nullptr) return;
    // The sheet's colours, not the item's: style sheets replace the palettes the items are handed.
    const QPalette& pal = colours_;
    const QRect r = option.rect.adjusted(12, 0, -12, 0);
    p->save();
    p->setRenderHint(QPainter::Antialiasing);
    const QRect iconRect(r.left(), r.center().y() - kIcon / 2, kIcon, kIcon);
    app->icon.paint(p, iconRect);
    const QColor secondary = pal.color(QPalette::PlaceholderText);
    const int textLeft = iconRect.right() + 1 + kRowSpacing;
    const int textRight = r.right() - kSymbol - kRowSpacing;
    const QFont nameFont = screenFont(13);
    const QFont idFont = screenFont(10);
    const QFontMetrics nameMetrics(nameFont), idMetrics(idFont);
    const int block = nameMetrics.height() + 1 + idMetrics.height();
    const int top = r.center().y() - block / 2;
    p->setFont(nameFont);
    p->setPen(pal.color(QPalette::Text));
    p->drawText(QRect(textLeft, top, textRight - textLeft, nameMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                nameMetrics.elidedText(app->name, Qt::ElideRight, textRight - textLeft));
    p->setFont(idFont);
    p->setPen(secondary);
    p->drawText(QRect(textLeft, top + nameMetrics.height() + 1, textRight - textLeft, idMetrics.height()),
                Qt::AlignLeft | Qt::AlignVCenter, idMetrics.elidedText(app->id, Qt::ElideRight, textRight - textLeft));
    const bool blocked = store_ && store_->contains(app->id.toStdString());
    const QRectF symbolRect(r.right() - kSymbol, r.center().y() - kSymbol / 2.0, kSymbol, kSymbol);
    paintSymbol(*p, blocked ? Symbol::checkmarkCircleFill : Symbol::circle, symbolRect,
                blocked ? pal.color(QPalette::Highlight) : secondary);
    p->restore();
  }

 private:
  const AppListModel& model_;
  QPointer<MacBlocklistStore> store_;
  const QPalette& colours_;
};

}  // namespace

AppPickerView::AppPickerView(MacBlocklistStore& blocklist, AppPickerViewModel::Scanner scanner, QWidget* parent)
    : QDialog(parent), blocklist_(&blocklist), vm_(new AppPickerViewModel(std::move(scanner), this)) {
  setObjectName("appPicker");
  setMinimumSize(460, 520);
  setWindowModality(Qt::WindowModal);  // a sheet of the window that opens it
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  auto* header = new QVBoxLayout;
  header->setContentsMargins(16, 16, 16, 16);
  header->setSpacing(10);
  auto* titleRow = new QHBoxLayout;
  auto* titles = new QVBoxLayout;
  titles->setSpacing(2);
  auto* title = new QLabel(localized("Apps auf dem Mac blockieren"));
  title->setFont(screenFont(13, QFont::Bold));
  counter_ = new QLabel;
  counter_->setObjectName("counter");
  counter_->setFont(screenFont(11));
  titles->addWidget(title);
  titles->addWidget(counter_);
  titleRow->addLayout(titles);
  titleRow->addStretch(1);
  auto* done = new QPushButton(localized("Fertig"));
  done->setObjectName("done");
  done->setDefault(true);
  connect(done, &QPushButton::clicked, this, &QDialog::accept);
  titleRow->addWidget(done);
  header->addLayout(titleRow);

  auto* searchBox = new QFrame;
  searchBox->setObjectName("searchBox");
  auto* searchRow = new QHBoxLayout(searchBox);
  searchRow->setContentsMargins(8, 8, 8, 8);
  searchRow->setSpacing(6);
  auto* magnifier = new QLabel;
  magnifier->setObjectName("magnifier");
  searchRow->addWidget(magnifier);
  search_ = new QLineEdit;
  search_->setObjectName("search");
  search_->setFrame(false);
  search_->setPlaceholderText(localized("App suchen"));
  connect(search_, &QLineEdit::textChanged, vm_, &AppPickerViewModel::setSearchText);
  searchRow->addWidget(search_, 1);
  header->addWidget(searchBox);
  column->addLayout(header);

  auto* divider = new QFrame;
  divider->setFrameShape(QFrame::HLine);
  divider->setFrameShadow(QFrame::Plain);
  divider->setObjectName("divider");
  column->addWidget(divider);

  content_ = new QStackedWidget;
  auto* loading = new QWidget;
  auto* loadingColumn = new QVBoxLayout(loading);
  loadingColumn->addStretch(1);
  auto* bar = new QProgressBar;
  bar->setRange(0, 0);
  bar->setTextVisible(false);
  bar->setFixedWidth(160);
  loadingColumn->addWidget(bar, 0, Qt::AlignHCenter);
  auto* loadingLabel = new QLabel(localized("Apps werden gesucht…"));
  loadingLabel->setObjectName("loadingLabel");
  loadingLabel->setAlignment(Qt::AlignCenter);
  loadingColumn->addWidget(loadingLabel);
  loadingColumn->addStretch(1);
  content_->addWidget(loading);
  list_ = new QListView;
  list_->setObjectName("apps");
  list_->setFrameShape(QFrame::NoFrame);
  list_->setUniformItemSizes(true);
  list_->setSelectionMode(QAbstractItemView::NoSelection);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setFocusPolicy(Qt::NoFocus);
  model_ = new AppListModel(this);
  list_->setModel(model_);
  list_->setItemDelegate(new AppRowDelegate(*model_, blocklist_, colours_, list_));
  connect(list_, &QListView::clicked, this, [this](const QModelIndex& index) { clickRow(index.row()); });
  content_->addWidget(list_);
  column->addWidget(content_, 1);

  connect(vm_, &AppPickerViewModel::appsChanged, this, &AppPickerView::refresh);
  connect(vm_, &AppPickerViewModel::searchTextChanged, this, &AppPickerView::refresh);
  connect(vm_, &AppPickerViewModel::isLoadingChanged, this,
          [this] { content_->setCurrentIndex(vm_->isLoading() ? 0 : 1); });
  connect(&blocklist, &MacBlocklistStore::blockedBundleIDsChanged, this, [this] {
    counter_->setText(counterText());
    list_->viewport()->update();
  });
  content_->setCurrentIndex(1);
  counter_->setText(counterText());
  restyle();
}

AppPickerView::~AppPickerView() = default;

QString AppPickerView::counterText() const {
  const auto n = blocklist_ ? static_cast<long long>(blocklist_->blockedBundleIDs().size()) : 0LL;
  return localized("%1 ausgewählt").arg(n);
}

bool AppPickerView::isShowingProgress() const { return content_->currentIndex() == 0; }

QRect AppPickerView::rowRect(int row) const { return list_->visualRect(model_->index(row)); }

void AppPickerView::clickRow(int row) {
  const InstalledApp* app = model_->app(row);
  if (app != nullptr && blocklist_) blocklist_->toggle(app->id.toStdString());
}

void AppPickerView::setColorScheme(std::optional<Appearance> scheme) {
  scheme_ = scheme;
  restyle();
}

Appearance AppPickerView::colorScheme() const { return scheme_ ? *scheme_ : currentAppearance(); }

void AppPickerView::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Restoring a minimised window is a spontaneous show; only the sheet's own first showing loads.
  if (!event->spontaneous() && !shownOnce_) {
    shownOnce_ = true;
    vm_->loadApps();
  }
}

void AppPickerView::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (!scheme_ && (event->type() == QEvent::ApplicationPaletteChange || event->type() == QEvent::ThemeChange))
    restyle();
}

void AppPickerView::restyle() {
  colours_ = screenPalette(colorScheme());
  const QPalette& pal = colours_;
  setPalette(pal);
  const QColor secondary = pal.color(QPalette::PlaceholderText);
  setStyleSheet(QStringLiteral("QDialog#appPicker { background: %1; }"
                               "QLabel { color: %5; }"
                               "QLabel#counter, QLabel#loadingLabel { color: %2; }"
                               "QFrame#searchBox { background: %3; border: none; border-radius: 8px; }"
                               "QLineEdit#search { background: transparent; border: none; color: %5; }"
                               "QFrame#divider { color: %4; }"
                               "QListView#apps { background: %1; }")
                    .arg(cssColor(pal.color(QPalette::Window)), cssColor(secondary),
                         cssColor(pal.color(QPalette::Base)), cssColor(pal.color(QPalette::Mid)),
                         cssColor(pal.color(QPalette::Text))));
  if (auto* magnifier = findChild<QLabel*>("magnifier")) {
    magnifier->setPixmap(symbolIcon(Symbol::magnifyingGlass, secondary, 14).pixmap(14, 14));
  }
  list_->viewport()->update();
}

void AppPickerView::refresh() { model_->setApps(vm_->filteredApps()); }

}  // namespace velmoria
