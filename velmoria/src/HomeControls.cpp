#include "velmoria/HomeControls.hpp"

#include <QCoreApplication>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>
#include <cmath>

#include "velmoria/ScreenWidgets.hpp"

namespace velmoria {
namespace {

constexpr int kRowInset = 14;
constexpr int kTile = 40;
constexpr int kMaxControlWidth = 420;

QPixmap symbolPixmap(Symbol symbol, const QColor& colour, int side) {
  return symbolIcon(symbol, colour, side).pixmap(side, side);
}

}  // namespace

SelectionRow::SelectionRow(Symbol symbol, const QString& title, QWidget* parent)
    : QAbstractButton(parent), symbol_(symbol), title_(title) {
  setText(title);
  setAccessibleName(title);
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::StrongFocus);
  setMaximumWidth(kMaxControlWidth);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void SelectionRow::setSubtitle(const QString& subtitle) {
  subtitle_ = subtitle;
  setAccessibleDescription(subtitle);
  update();
}

void SelectionRow::setLocked(bool locked) {
  locked_ = locked;
  setEnabled(!locked);
  update();
}

void SelectionRow::setAppearance(Appearance appearance) {
  appearance_ = appearance;
  update();
}

QSize SelectionRow::sizeHint() const { return {kMaxControlWidth, kTile + 2 * kRowInset}; }

QSize SelectionRow::minimumSizeHint() const { return {200, kTile + 2 * kRowInset}; }

void SelectionRow::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  p.setOpacity(locked_ ? 0.6 : 1.0);
  const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  p.setPen(QPen(Theme::border.resolve(appearance_), 1));
  p.setBrush(isDown() ? Theme::border.resolve(appearance_) : Theme::surface.resolve(appearance_));
  p.drawRoundedRect(frame, 14, 14);

  const QRectF tile(kRowInset, (height() - kTile) / 2.0, kTile, kTile);
  p.setPen(Qt::NoPen);
  p.setBrush(Theme::accentSoft.resolve(appearance_));
  p.drawRoundedRect(tile, 10, 10);
  paintSymbol(p, symbol_, tile.adjusted(11, 11, -11, -11), Theme::accent());

  const double trailingSide = 13;
  const QRectF trailing(width() - kRowInset - trailingSide, (height() - trailingSide) / 2.0, trailingSide,
                        trailingSide);
  paintSymbol(p, locked_ ? Symbol::lockFill : Symbol::chevronRight, trailing, Theme::textTertiary.resolve(appearance_));

  const QFont titleFont = screenFont(15, QFont::DemiBold);
  const QFont subtitleFont = screenFont(13);
  const QFontMetricsF titleMetrics(titleFont), subtitleMetrics(subtitleFont);
  const double textLeft = tile.right() + 12;
  const double textWidth = std::max(0.0, trailing.left() - 8 - textLeft);
  const double block = titleMetrics.height() + 2 + subtitleMetrics.height();
  const double top = (height() - block) / 2.0;
  p.setFont(titleFont);
  p.setPen(Theme::textPrimary.resolve(appearance_));
  p.drawText(QRectF(textLeft, top, textWidth, titleMetrics.height()), Qt::AlignLeft | Qt::TextSingleLine,
             titleMetrics.elidedText(title_, Qt::ElideRight, textWidth));
  p.setFont(subtitleFont);
  p.setPen(Theme::textTertiary.resolve(appearance_));
  p.drawText(QRectF(textLeft, top + titleMetrics.height() + 2, textWidth, subtitleMetrics.height()),
             Qt::AlignLeft | Qt::TextSingleLine, subtitleMetrics.elidedText(subtitle_, Qt::ElideRight, textWidth));
  if (hasFocus()) {
    p.setOpacity(1);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Theme::accent(), 1.5));
    p.drawRoundedRect(frame.adjusted(1, 1, -1, -1), 13, 13);
  }
}

SettingsCard::SettingsCard(Symbol symbol, const QString& title, QWidget* parent) : QFrame(parent), symbol_(symbol) {
  setMaximumWidth(kMaxControlWidth);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);  // as tall as its subtitle needs
  setAttribute(Qt::WA_TranslucentBackground);
  row_ = new QHBoxLayout(this);
  row_->setContentsMargins(14, 10, 14, 10);
  row_->setSpacing(12);
  icon_ = new QLabel;
  icon_->setFixedWidth(26);
  icon_->setAlignment(Qt::AlignCenter);
  row_->addWidget(icon_);
  auto* texts = new QVBoxLayout;
  texts->setSpacing(2);
  title_ = new QLabel(title);
  title_->setObjectName("cardTitle");
  title_->setFont(screenFont(14, QFont::DemiBold));
  texts->addWidget(title_);
  subtitle_ = new WrappingLabel;
  subtitle_->setObjectName("cardSubtitle");
  subtitle_->setTextFont(screenFont(12));
  texts->addWidget(subtitle_);
  row_->addLayout(texts, 1);
  row_->addSpacing(8);
  setAppearance(currentAppearance());
}

void SettingsCard::setSubtitle(const QString& subtitle) { subtitle_->setText(subtitle); }

QString SettingsCard::subtitle() const { return subtitle_->text(); }

void SettingsCard::setTrailing(QWidget* control) { row_->addWidget(control, 0, Qt::AlignVCenter); }

void SettingsCard::setAppearance(Appearance appearance) {
  appearance_ = appearance;
  icon_->setPixmap(symbolPixmap(symbol_, Theme::textSecondary.resolve(appearance), 15));
  QPalette palette = title_->palette();
  palette.setColor(QPalette::WindowText, Theme::textPrimary.resolve(appearance));
  title_->setPalette(palette);
  subtitle_->setColour(Theme::textTertiary.resolve(appearance));
  update();
}

void SettingsCard::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(Theme::border.resolve(appearance_), 1));
  p.setBrush(Theme::surface.resolve(appearance_));
  p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 12, 12);
}

StatusPill::StatusPill(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_TranslucentBackground);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void StatusPill::setLocked(bool locked) {
  locked_ = locked;
  setAccessibleName(text());
  updateGeometry();
  update();
}

void StatusPill::setAppearance(Appearance appearance) {
  appearance_ = appearance;
  update();
}

QString StatusPill::text() const {
  return locked_ ? QCoreApplication::translate("MacHomeView", "Focus active")
                 : QCoreApplication::translate("MacHomeView", "Following along");
}

QSize StatusPill::sizeHint() const {
  const QFontMetricsF metrics(screenFont(15, QFont::DemiBold, -0.23));
  return {static_cast<int>(std::ceil(18 + 6 + 6 + metrics.horizontalAdvance(text()) + 18)),
          static_cast<int>(std::ceil(8 + metrics.height() + 8))};
}

void StatusPill::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  const QRectF capsule = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  const double radius = capsule.height() / 2;
  QColor outline = locked_ ? Theme::accent() : Theme::border.resolve(appearance_);
  if (locked_) outline.setAlphaF(0.3f);
  p.setPen(QPen(outline, 1));
  p.setBrush(locked_ ? Theme::accentSoft.resolve(appearance_) : Theme::surface.resolve(appearance_));
  p.drawRoundedRect(capsule, radius, radius);
  p.setPen(Qt::NoPen);
  p.setBrush(locked_ ? Theme::success.resolve(appearance_) : Theme::accent());
  p.drawEllipse(QRectF(18, height() / 2.0 - 3, 6, 6));
  const QFont font = screenFont(15, QFont::DemiBold, -0.23);
  p.setFont(font);
  p.setPen(Theme::textPrimary.resolve(appearance_));
  p.drawText(QRectF(18 + 6 + 6, 0, width() - 30, height()), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
             text());
}

}  // namespace velmoria
