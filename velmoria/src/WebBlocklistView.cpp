#include "velmoria/WebBlocklistView.hpp"

#include <QCoreApplication>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "velmoria/ScreenPalette.hpp"
#include "velmoria/SymbolIcon.hpp"

namespace velmoria {
namespace {

QString localized(const char* text) { return QCoreApplication::translate("WebBlocklistView", text); }

constexpr const char* kExample = "youtube.com";

QPixmap symbolPixmap(Symbol symbol, const QColor& colour, int side) {
  return symbolIcon(symbol, colour, side).pixmap(side, side);
}

// A row or chip may be the sender of the click that changed the list: detach it now, free it later.
void retire(QWidget* widget) {
  if (widget == nullptr) return;
  widget->setParent(nullptr);
  widget->deleteLater();
}

bool isBlankForAdd(const QString& text) {
  return std::all_of(text.begin(), text.end(), [](QChar c) { return c == ' ' || c == '\t'; });
}

}  // namespace

const QStringList& WebBlocklistView::suggestions() {
  static const QStringList list{"youtube.com", "instagram.com", "tiktok.com",  "x.com",
                                "reddit.com",  "facebook.com",  "netflix.com", "twitch.tv"};
  return list;
}

WebBlocklistView::WebBlocklistView(MacWebBlocklistStore& webBlocklist, QWidget* parent)
    : QDialog(parent), webBlocklist_(&webBlocklist) {
  setMinimumSize(460, 540);
  setWindowModality(Qt::WindowModal);  // a sheet of the window that opens it
  setObjectName("webBlocklist");
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  // Header.
  auto* header = new QHBoxLayout;
  header->setContentsMargins(16, 16, 16, 16);
  auto* titles = new QVBoxLayout;
  titles->setSpacing(2);
  auto* title = new QLabel(localized("Sites to block on Mac"));
  title->setObjectName("title");
  title->setFont(screenFont(17, QFont::Bold));
  countLabel_ = new QLabel;
  countLabel_->setObjectName("count");
  countLabel_->setFont(screenFont(13));
  titles->addWidget(title);
  titles->addWidget(countLabel_);
  header->addLayout(titles);
  header->addStretch(1);
  doneButton_ = new QPushButton(localized("Done"));
  doneButton_->setDefault(true);
  connect(doneButton_, &QPushButton::clicked, this, &QDialog::accept);
  header->addWidget(doneButton_);
  column->addLayout(header);

  auto* divider = new QFrame;
  divider->setObjectName("divider");
  divider->setFixedHeight(1);
  column->addWidget(divider);

  // Input section.
  auto* input = new QVBoxLayout;
  input->setContentsMargins(16, 0, 16, 12);
  input->setSpacing(8);
  inputRow_ = new QFrame;
  inputRow_->setObjectName("inputRow");
  auto* row = new QHBoxLayout(inputRow_);
  row->setContentsMargins(10, 10, 10, 10);
  row->setSpacing(8);
  inputGlobe_ = new QLabel;
  row->addWidget(inputGlobe_);
  field_ = new QLineEdit;
  field_->setObjectName("field");
  field_->setFrame(false);
  field_->setPlaceholderText(localized("Add a website, e.g. ") + kExample);
  field_->installEventFilter(this);
  row->addWidget(field_, 1);
  addButton_ = new QPushButton(localized("Add"));
  addButton_->setObjectName("add");
  addButton_->setAutoDefault(false);
  addButton_->setEnabled(false);
  connect(addButton_, &QPushButton::clicked, this, &WebBlocklistView::addDomain);
  row->addWidget(addButton_);
  connect(field_, &QLineEdit::textChanged, this, [this](const QString& text) {
    setShowInvalid(false);
    addButton_->setEnabled(!isBlankForAdd(text));
  });
  input->addWidget(inputRow_);
  invalidLabel_ = new QLabel(localized("Enter a valid domain like ") + kExample);
  invalidLabel_->setObjectName("invalid");
  invalidLabel_->setFont(screenFont(12));
  invalidLabel_->setVisible(false);
  input->addWidget(invalidLabel_);
  chipScroll_ = new QScrollArea;
  chipScroll_->setObjectName("chips");
  chipScroll_->setFrameShape(QFrame::NoFrame);
  chipScroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  chipScroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  chipScroll_->setWidgetResizable(true);
  auto* chipHolder = new QWidget;
  chipHolder->setObjectName("chipHolder");
  chipLayout_ = new QHBoxLayout(chipHolder);
  chipLayout_->setContentsMargins(0, 0, 0, 0);
  chipLayout_->setSpacing(6);
  chipScroll_->setWidget(chipHolder);
  input->addWidget(chipScroll_);
  column->addLayout(input);

  // Domain list or empty state.
  listStack_ = new QStackedWidget;
  auto* scroll = new QScrollArea;
  scroll->setObjectName("domainScroll");
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setWidgetResizable(true);
  auto* rows = new QWidget;
  rows->setObjectName("rows");
  rowLayout_ = new QVBoxLayout(rows);
  rowLayout_->setContentsMargins(16, 16, 16, 16);
  rowLayout_->setSpacing(6);
  scroll->setWidget(rows);
  listStack_->addWidget(scroll);
  auto* empty = new QWidget;
  empty->setObjectName("emptyState");
  auto* emptyColumn = new QVBoxLayout(empty);
  emptyColumn->setSpacing(8);
  emptyColumn->addStretch(1);
  emptyGlobe_ = new QLabel;
  emptyGlobe_->setAlignment(Qt::AlignCenter);
  emptyColumn->addWidget(emptyGlobe_);
  auto* emptyTitle = new QLabel(localized("No sites blocked yet"));
  emptyTitle->setObjectName("emptyTitle");
  emptyTitle->setFont(screenFont(14, QFont::DemiBold));
  emptyTitle->setAlignment(Qt::AlignCenter);
  emptyColumn->addWidget(emptyTitle);
  auto* emptyText = new QLabel(localized("Add the websites that distract you most."));
  emptyText->setObjectName("emptyText");
  emptyText->setFont(screenFont(12));
  emptyText->setAlignment(Qt::AlignCenter);
  emptyColumn->addWidget(emptyText);
  emptyColumn->addStretch(1);
  listStack_->addWidget(empty);
  column->addWidget(listStack_, 1);

  connect(&webBlocklist, &MacWebBlocklistStore::domainsChanged, this, &WebBlocklistView::rebuild);
  restyle();
}

void WebBlocklistView::setColorScheme(std::optional<Appearance> scheme) {
  scheme_ = scheme;
  restyle();
}

Appearance WebBlocklistView::colorScheme() const { return scheme_ ? *scheme_ : currentAppearance(); }

QString WebBlocklistView::input() const { return field_->text(); }

QString WebBlocklistView::countText() const {
  const auto n = webBlocklist_ ? static_cast<long long>(webBlocklist_->domains().size()) : 0LL;
  return QString::number(n) + ' ' + (n == 1 ? localized("site") : localized("sites"));
}

bool WebBlocklistView::isShowingEmptyState() const { return listStack_->currentIndex() == 1; }

QStringList WebBlocklistView::remainingSuggestions() const {
  QStringList remaining;
  for (const auto& s : suggestions()) {
    const std::string domain = s.toStdString();
    const bool listed = webBlocklist_ && std::find(webBlocklist_->domains().begin(), webBlocklist_->domains().end(),
                                                   domain) != webBlocklist_->domains().end();
    if (!listed) remaining.push_back(s);
  }
  return remaining;
}

void WebBlocklistView::addDomain() {
  if (!webBlocklist_) return;
  const std::string text = field_->text().toStdString();
  if (webBlocklist_->add(text) || MacWebBlocklistStore::normalizeDomain(text)) {
    // Added, or already listed: either way the field is done with.
    field_->clear();
    setShowInvalid(false);
  } else {
    setShowInvalid(true);
  }
}

void WebBlocklistView::removeDomain(const std::string& domain) {
  if (!webBlocklist_) return;
  std::vector<std::string> domains = webBlocklist_->domains();
  domains.erase(std::remove(domains.begin(), domains.end(), domain), domains.end());
  webBlocklist_->setDomains(std::move(domains));
  webBlocklist_->save();
}

void WebBlocklistView::setShowInvalid(bool value) {
  if (value == showInvalid_) return;
  showInvalid_ = value;
  invalidLabel_->setVisible(value);
  restyle();
}

bool WebBlocklistView::eventFilter(QObject* watched, QEvent* event) {
  // Return in the field adds the domain and must not reach the dialog's default button.
  if (watched == field_ && event->type() == QEvent::KeyPress) {
    const auto key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      addDomain();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void WebBlocklistView::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (!scheme_ && (event->type() == QEvent::ApplicationPaletteChange || event->type() == QEvent::ThemeChange))
    restyle();
}

void WebBlocklistView::restyle() {
  const Appearance a = colorScheme();
  setPalette(screenPalette(a));
  const QString accent = cssColor(Theme::accent());
  setStyleSheet(
      QStringLiteral("QDialog#webBlocklist { background: %1; }"
                     "QLabel#title { color: %2; } QLabel#count { color: %3; }"
                     "QFrame#divider { background: %4; border: none; }"
                     "QFrame#inputRow { background: %5; border: 1px solid %6; border-radius: 10px; }"
                     "QLineEdit#field { background: transparent; border: none; color: %2; font-size: 13px; }"
                     "QPushButton#add { background: %7; color: white; border: none; border-radius: 6px;"
                     " padding: 4px 12px; font-size: 13px; }"
                     "QPushButton#add:disabled { background: %8; color: rgba(255, 255, 255, 180); }"
                     "QLabel#invalid { color: %9; }"
                     "QScrollArea, QWidget#chipHolder, QWidget#rows, QWidget#emptyState { background: transparent; }"
                     "QStackedWidget { background: transparent; }"
                     "QPushButton#chip { background: %10; color: %7; border: none; border-radius: 13px;"
                     " padding: 6px 10px; font-size: 12px; font-weight: 500; }"
                     "QFrame#domainRow { background: %5; border: 1px solid %4; border-radius: 10px; }"
                     "QLabel#domain { color: %2; background: transparent; border: none; }"
                     "QPushButton#remove { background: transparent; border: none; }"
                     "QLabel#emptyTitle { color: %11; } QLabel#emptyText { color: %3; }")
          .arg(cssColor(Theme::background.resolve(a)), cssColor(Theme::textPrimary.resolve(a)),
               cssColor(Theme::textTertiary.resolve(a)), cssColor(Theme::border.resolve(a)),
               cssColor(Theme::surface.resolve(a)),
               cssColor(showInvalid_ ? Theme::danger.resolve(a) : Theme::border.resolve(a)), accent,
               cssColor(Theme::textTertiary.resolve(a)), cssColor(Theme::danger.resolve(a)))
          .arg(cssColor(Theme::accentSoft.resolve(a)), cssColor(Theme::textSecondary.resolve(a))));
  inputGlobe_->setPixmap(symbolPixmap(Symbol::globe, Theme::textTertiary.resolve(a), 15));
  emptyGlobe_->setPixmap(symbolPixmap(Symbol::globe, Theme::textTertiary.resolve(a), 34));
  rebuild();
}

void WebBlocklistView::rebuild() {
  if (!webBlocklist_) return;
  const Appearance a = colorScheme();
  countLabel_->setText(countText());

  while (auto* item = chipLayout_->takeAt(0)) {
    retire(item->widget());
    delete item;
  }
  const QStringList remaining = remainingSuggestions();
  int chipHeight = 0;
  for (const auto& domain : remaining) {
    auto* chip = new QPushButton(symbolIcon(Symbol::plus, Theme::accent(), 10), domain);
    chip->setObjectName("chip");
    chip->setProperty("domain", domain);
    chip->setFocusPolicy(Qt::NoFocus);
    chip->setAutoDefault(false);
    chip->setIconSize(QSize(10, 10));
    connect(chip, &QPushButton::clicked, this, [this, d = domain.toStdString()] {
      if (webBlocklist_) (void)webBlocklist_->add(d);
    });
    chipLayout_->addWidget(chip);
    chip->show();
    chipHeight = std::max(chipHeight, chip->sizeHint().height());
  }
  chipLayout_->addStretch(1);
  chipScroll_->setVisible(!remaining.isEmpty());
  chipScroll_->setFixedHeight(chipHeight);

  while (auto* item = rowLayout_->takeAt(0)) {
    retire(item->widget());
    delete item;
  }
  for (const auto& domain : webBlocklist_->domains()) {
    auto* row = new QFrame;
    row->setObjectName("domainRow");
    auto* h = new QHBoxLayout(row);
    h->setContentsMargins(12, 10, 12, 10);
    h->setSpacing(10);
    auto* globe = new QLabel;
    globe->setPixmap(symbolPixmap(Symbol::globe, Theme::accent(), 15));
    globe->setFixedWidth(22);
    globe->setAlignment(Qt::AlignCenter);
    globe->setStyleSheet("background: transparent; border: none;");
    h->addWidget(globe);
    auto* text = new QLabel(QString::fromStdString(domain));
    text->setObjectName("domain");
    text->setFont(screenFont(14, QFont::Medium));
    text->setTextFormat(Qt::PlainText);
    h->addWidget(text);
    h->addStretch(1);
    auto* remove = new QPushButton;
    remove->setObjectName("remove");
    remove->setProperty("domain", QString::fromStdString(domain));
    remove->setIcon(symbolIcon(Symbol::minusCircleFill, Theme::textTertiary.resolve(a), 16));
    remove->setIconSize(QSize(16, 16));
    remove->setToolTip(localized("Remove"));
    remove->setFocusPolicy(Qt::NoFocus);
    remove->setAutoDefault(false);
    connect(remove, &QPushButton::clicked, this, [this, domain] { removeDomain(domain); });
    h->addWidget(remove);
    rowLayout_->addWidget(row);
    row->show();
  }
  rowLayout_->addStretch(1);
  listStack_->setCurrentIndex(webBlocklist_->domains().empty() ? 1 : 0);
}

}  // namespace velmoria
