#include "velmoria/ScreenWidgets.hpp"

#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

#include "velmoria/SymbolIcon.hpp"
#include "velmoria/Theme.hpp"

namespace velmoria {

OneLineLabel::OneLineLabel(QWidget* parent) : QWidget(parent) {
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  setAttribute(Qt::WA_TranslucentBackground);
}

void OneLineLabel::setText(const QString& text) {
  if (text == text_) return;
  const QSize before = sizeHint();
  text_ = text;
  setAccessibleName(text);
  // A clock ticking in the same width moves nothing around it: no layout pass for the window.
  if (sizeHint() != before) updateGeometry();
  update();
}

void OneLineLabel::setTextFont(const QFont& font) {
  font_ = font;
  updateGeometry();
  update();
}

void OneLineLabel::setColour(const QColor& colour) {
  colour_ = colour;
  update();
}

void OneLineLabel::setMinimumScale(double scale) {
  minimumScale_ = std::clamp(scale, 0.1, 1.0);
  update();
}

void OneLineLabel::setAlignment(Qt::Alignment alignment) {
  alignment_ = alignment;
  update();
}

QFont OneLineLabel::fittedFont() const {
  QFont font = font_;
  const double natural = QFontMetricsF(font_).horizontalAdvance(text_);
  if (natural <= width() || natural <= 0 || minimumScale_ >= 1.0) return font;
  const int size = font_.pixelSize() > 0 ? font_.pixelSize() : 13;
  const double scale = std::max(minimumScale_, width() / natural);
  font.setPixelSize(std::max(1, static_cast<int>(std::floor(size * scale))));
  if (font_.letterSpacingType() == QFont::AbsoluteSpacing)
    font.setLetterSpacing(QFont::AbsoluteSpacing, font_.letterSpacing() * scale);
  return font;
}

QString OneLineLabel::shownText() const {
  return QFontMetricsF(fittedFont()).elidedText(text_, Qt::ElideRight, width());
}

int OneLineLabel::shownPixelSize() const { return fittedFont().pixelSize(); }

QSize OneLineLabel::sizeHint() const {
  const QFontMetricsF metrics(font_);
  return {static_cast<int>(std::ceil(metrics.horizontalAdvance(text_))), static_cast<int>(std::ceil(metrics.height()))};
}

QSize OneLineLabel::minimumSizeHint() const { return {0, sizeHint().height()}; }

void OneLineLabel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::TextAntialiasing);
  const QFont font = fittedFont();
  p.setFont(font);
  p.setPen(colour_);
  p.drawText(rect(), static_cast<int>(alignment_) | Qt::TextSingleLine,
             QFontMetricsF(font).elidedText(text_, Qt::ElideRight, width()));
}

namespace {

// Lays `text` out in lines at most `width` wide; returns the height they take.
double layOut(QTextLayout& layout, int width) {
  QTextOption option;
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  layout.setTextOption(option);
  layout.beginLayout();
  double y = 0;
  for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
    line.setLineWidth(std::max(1, width));
    line.setPosition(QPointF(0, y));
    y += line.height();
  }
  layout.endLayout();
  return y;
}

}  // namespace

WrappingLabel::WrappingLabel(QWidget* parent) : QWidget(parent) {
  QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Minimum);
  policy.setHeightForWidth(true);
  setSizePolicy(policy);
  setAttribute(Qt::WA_TranslucentBackground);
}

void WrappingLabel::setText(const QString& text) {
  if (text == text_) return;
  text_ = text;
  setAccessibleName(text);
  setMinimumHeight(heightForWidth(width()));
  updateGeometry();
  update();
}

void WrappingLabel::setTextFont(const QFont& font) {
  font_ = font;
  updateGeometry();
  update();
}

void WrappingLabel::setColour(const QColor& colour) {
  colour_ = colour;
  update();
}

QStringList WrappingLabel::lines(int width) const {
  QTextLayout layout(text_, font_);
  layOut(layout, width);
  QStringList out;
  for (int i = 0; i < layout.lineCount(); ++i) {
    const QTextLine line = layout.lineAt(i);
    out.push_back(text_.mid(line.textStart(), line.textLength()));
  }
  return out;
}

int WrappingLabel::heightForWidth(int width) const {
  const double oneLine = QFontMetricsF(font_).height();
  if (text_.isEmpty()) return static_cast<int>(std::ceil(oneLine));
  QTextLayout layout(text_, font_);
  return static_cast<int>(std::ceil(std::max(oneLine, layOut(layout, width))));
}

QSize WrappingLabel::sizeHint() const {
  const int width = static_cast<int>(std::ceil(QFontMetricsF(font_).horizontalAdvance(text_)));
  return {width, heightForWidth(std::max(1, width))};
}

QSize WrappingLabel::minimumSizeHint() const { return {0, static_cast<int>(std::ceil(QFontMetricsF(font_).height()))}; }

void WrappingLabel::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  // Not every layout above asks for the height at the width it gives; a floor of it holds in all of them.
  const int needed = heightForWidth(width());
  if (minimumHeight() != needed) setMinimumHeight(needed);
}

void WrappingLabel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::TextAntialiasing);
  p.setPen(colour_);
  QTextLayout layout(text_, font_);
  layOut(layout, width());
  layout.draw(&p, QPointF(0, 0));
}

CentredBox::CentredBox(QWidget* content, int maximumWidth, QMargins margins, QWidget* parent)
    : QWidget(parent), layout_(new QHBoxLayout(this)), maximumWidth_(maximumWidth), margins_(margins) {
  setAttribute(Qt::WA_TranslucentBackground);
  layout_->setContentsMargins(margins_);
  layout_->setSpacing(0);
  layout_->addWidget(content, 1);
}

void CentredBox::resizeEvent(QResizeEvent* event) {
  const int spare = width() - margins_.left() - margins_.right() - maximumWidth_;
  const int side = std::max(0, spare / 2);
  layout_->setContentsMargins(margins_.left() + side, margins_.top(), margins_.right() + side, margins_.bottom());
  QWidget::resizeEvent(event);
}

ActivityIndicator::ActivityIndicator(int diameter, QWidget* parent)
    : QWidget(parent), diameter_(diameter), colour_(Theme::textTertiary.resolve()) {
  setFixedSize(diameter, diameter);
  setAttribute(Qt::WA_TranslucentBackground);
  timer_.setInterval(100);
  connect(&timer_, &QTimer::timeout, this, [this] {
    step_ = (step_ + 1) % 8;
    update();
  });
}

void ActivityIndicator::setColour(const QColor& colour) {
  colour_ = colour;
  update();
}

void ActivityIndicator::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  timer_.start();
}

void ActivityIndicator::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  timer_.stop();
}

void ActivityIndicator::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const QPointF c(width() / 2.0, height() / 2.0);
  const double outer = diameter_ / 2.0 - 1;
  const double inner = outer * 0.45;
  const double stroke = std::max(1.5, diameter_ / 9.0);
  for (int i = 0; i < 8; ++i) {
    // The newest spoke is darkest; the trail fades behind it.
    const int age = (step_ - i + 8) % 8;
    QColor colour = colour_;
    colour.setAlphaF(static_cast<float>(colour_.alphaF() * (1.0 - age * 0.11)));
    p.setPen(QPen(colour, stroke, Qt::SolidLine, Qt::RoundCap));
    const double angle = i * M_PI / 4 - M_PI / 2;
    p.drawLine(c + QPointF(std::cos(angle), std::sin(angle)) * inner,
               c + QPointF(std::cos(angle), std::sin(angle)) * (outer - stroke / 2));
  }
}

ToggleSwitch::ToggleSwitch(QWidget* parent)
    : QAbstractButton(parent), tint_(Theme::accent()), offTrack_(Theme::border.resolve()) {
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::StrongFocus);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void ToggleSwitch::setOn(bool on) {
  if (on == on_) return;
  on_ = on;
  update();
}

void ToggleSwitch::setColours(const QColor& tint, const QColor& offTrack) {
  tint_ = tint;
  offTrack_ = offTrack;
  update();
}

void ToggleSwitch::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF track = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  const double radius = track.height() / 2;
  p.setPen(Qt::NoPen);
  p.setBrush(on_ ? tint_ : offTrack_);
  p.drawRoundedRect(track, radius, radius);
  const double knob = track.height() - 4;
  const double x = on_ ? track.right() - 2 - knob : track.left() + 2;
  p.setBrush(QColor(0, 0, 0, 40));
  p.drawEllipse(QRectF(x, track.top() + 2.6, knob, knob));
  p.setBrush(Qt::white);
  p.drawEllipse(QRectF(x, track.top() + 2, knob, knob));
  if (hasFocus()) {
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(tint_, 1));
    p.drawRoundedRect(track, radius, radius);
  }
}

PrimaryButtonLabel::PrimaryButtonLabel(QWidget* parent)
    : QPushButton(parent), disabledFill_(Theme::textTertiary.resolve()) {
  setFont(screenFont(16, QFont::DemiBold, -0.16));
  setCursor(Qt::PointingHandCursor);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  setAutoDefault(false);
}

void PrimaryButtonLabel::setDisabledFill(const QColor& colour) {
  disabledFill_ = colour;
  update();
}

QSize PrimaryButtonLabel::sizeHint() const {
  const QFontMetricsF metrics(font());
  return {static_cast<int>(std::ceil(metrics.horizontalAdvance(text()))) + 28,
          static_cast<int>(std::ceil(metrics.height())) + 28};
}

QSize PrimaryButtonLabel::minimumSizeHint() const { return {0, sizeHint().height()}; }

void PrimaryButtonLabel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  QColor fill = Theme::accent();
  if (!isEnabled()) {
    fill = disabledFill_;
    fill.setAlphaF(static_cast<float>(fill.alphaF() * 0.35));
  } else if (isDown()) {
    fill = fill.darker(112);
  }
  const QRectF pill(rect());
  const double radius = std::min(999.0, pill.height() / 2);
  p.setPen(Qt::NoPen);
  p.setBrush(fill);
  p.drawRoundedRect(pill, radius, radius);
  if (hasFocus()) {
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 255, 255, 150), 1.5));
    p.drawRoundedRect(pill.adjusted(2, 2, -2, -2), radius - 2, radius - 2);
  }
  p.setFont(font());
  p.setPen(Qt::white);
  p.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, text());
}

}  // namespace velmoria
