#include "velmoria/MacBlockingOverlayView.hpp"

#include <QCoreApplication>
#include <QEasingCurve>
#include <QFontMetricsF>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTextLayout>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include "velmoria/PaintBands.hpp"

namespace velmoria {
namespace {

constexpr double kColumnSpacing = 22;
constexpr double kTextSpacing = 10;
constexpr double kEmblem = 240;
constexpr double kDisc = 104;
constexpr double kMessageWidth = 440;
constexpr double kButtonPadH = 30;
constexpr double kButtonPadV = 14;
constexpr double kButtonExtraTop = 8;
// At the /proc poll's pace, so the two share their wake-ups.
constexpr std::chrono::milliseconds kPulseFrame{250};
constexpr std::chrono::milliseconds kEntranceFrame{33};
constexpr std::chrono::milliseconds kEntranceDuration{300};

QFont font(int pixelSize, QFont::Weight weight, double tracking) {
  QFont f;
  f.setPixelSize(pixelSize);
  f.setWeight(weight);
  f.setLetterSpacing(QFont::AbsoluteSpacing, tracking);
  return f;
}

QFont titleFont() { return font(44, QFont::ExtraBold, -1.8); }
QFont messageFont() { return font(16, QFont::Normal, -0.16); }
QFont buttonFont() { return font(16, QFont::DemiBold, -0.16); }

QColor withOpacity(QColor c, double opacity) {
  c.setAlphaF(static_cast<float>(c.alphaF() * opacity));
  return c;
}

const QString kTitle = QStringLiteral("Locked.");

// The "lock.fill" symbol: a filled body under a closed shackle, about 42 px tall.
void drawLock(QPainter& p, QPointF centre, const QColor& colour) {
  const double bodyW = 30, bodyH = 24, shackleW = 19, shackleH = 19, stroke = 5;
  const QRectF body(centre.x() - bodyW / 2, centre.y() - 21 + 18, bodyW, bodyH);
  p.setPen(Qt::NoPen);
  p.setBrush(colour);
  p.drawRoundedRect(body, 5, 5);
  QPen pen(colour, stroke, Qt::SolidLine, Qt::FlatCap);
  p.setPen(pen);
  p.setBrush(Qt::NoBrush);
  QPainterPath shackle;
  const double left = centre.x() - shackleW / 2, right = centre.x() + shackleW / 2, top = body.top() - shackleH;
  shackle.moveTo(left, body.top() + 1);
  shackle.lineTo(left, top + shackleW / 2);
  shackle.arcTo(QRectF(left, top, shackleW, shackleW), 180, -180);
  shackle.lineTo(right, body.top() + 1);
  p.drawPath(shackle);
}

}  // namespace

struct MacBlockingOverlayView::Layout {
  QRectF emblem, title, message, button;
  QStringList messageLines;
  double messageLineHeight = 0;
  double height = 0;
};

QStringList MacBlockingOverlayView::messageLines() const {
  // Lines break between words; a word breaks only when it alone is wider than the column.
  const QString text = message();
  QTextLayout textLayout(text, messageFont());
  QTextOption option;
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  textLayout.setTextOption(option);
  QStringList lines;
  textLayout.beginLayout();
  for (QTextLine line = textLayout.createLine(); line.isValid(); line = textLayout.createLine()) {
    line.setLineWidth(kMessageWidth);
    lines.append(text.mid(line.textStart(), line.textLength()).trimmed());
  }
  textLayout.endLayout();
  return lines;
}

MacBlockingOverlayView::MacBlockingOverlayView(OverlayModel& model, std::function<void()> onDismiss, QWidget* parent)
    : QWidget(parent), model_(&model), onDismiss_(std::move(onDismiss)) {
  setAttribute(Qt::WA_TranslucentBackground);
  setAutoFillBackground(false);
  setMouseTracking(false);
  connect(&model, &OverlayModel::appNameChanged, this, [this] {
    layout_.reset();  // the message and what follows it move; the layers go with the layout
    update();
  });
}

MacBlockingOverlayView::~MacBlockingOverlayView() = default;

void MacBlockingOverlayView::setColorScheme(std::optional<Appearance> scheme) {
  scheme_ = scheme;
  update();
}

void MacBlockingOverlayView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  layers_.reset();
}

Appearance MacBlockingOverlayView::colorScheme() const { return scheme_ ? *scheme_ : currentAppearance(); }

void MacBlockingOverlayView::setAppearProgress(double progress) {
  appear_ = std::clamp(progress, 0.0, 1.0);
  // The content shrinks towards the window's centre, which lies inside it: at any size it stays within
  // where it stands at full size. The wash around it does not change.
  update(contentBounds(layout()));
}

void MacBlockingOverlayView::setGlow(double glow) {
  glow_ = glow;
  // A change of less than a step of colour at the glow's centre waits for the next frame.
  if (appear_ >= 1.0 && std::abs(glow - paintedGlow_) < 0.02) return;
  paintedGlow_ = glow;
  // Only the emblem changes; while the content still grows, it changes as a whole.
  update(appear_ >= 1.0 ? glowBounds(layout()) : contentBounds(layout()));
}

QString MacBlockingOverlayView::message() const {
  const QString name = model_ ? model_->appName() : QString();
  return name +
         QCoreApplication::translate("MacBlockingOverlayView", " is blocked while your focus session is running.");
}

const MacBlockingOverlayView::Layout& MacBlockingOverlayView::layout() const {
  if (!layout_ || layoutSize_ != size()) {
    layout_ = std::make_unique<Layout>(computeLayout());
    layoutSize_ = size();
    layers_.reset();
  }
  return *layout_;
}

MacBlockingOverlayView::Layout MacBlockingOverlayView::computeLayout() const {
  Layout l;
  const QFontMetricsF titleMetrics(titleFont());
  const QFontMetricsF messageMetrics(messageFont());
  const QFontMetricsF buttonMetrics(buttonFont());
  const double titleH = titleMetrics.height();
  // The message grows downwards with its wrapped lines; it is never cut.
  l.messageLines = messageLines();
  l.messageLineHeight = messageMetrics.lineSpacing();
  double widest = 0;
  for (const QString& line : l.messageLines) widest = std::max(widest, messageMetrics.horizontalAdvance(line));
  const double messageW = std::min(kMessageWidth, std::ceil(widest));
  const double messageH = std::ceil(l.messageLineHeight * static_cast<double>(l.messageLines.size()));
  const double buttonW = buttonMetrics.horizontalAdvance(QStringLiteral("Back to focus")) + 2 * kButtonPadH;
  const double buttonH = buttonMetrics.height() + 2 * kButtonPadV;

  l.height = kEmblem + kColumnSpacing + titleH + kTextSpacing + messageH + kColumnSpacing + kButtonExtraTop + buttonH;
  const double cx = width() / 2.0;
  double y = (height() - l.height) / 2.0;
  l.emblem = QRectF(cx - kEmblem / 2, y, kEmblem, kEmblem);
  y += kEmblem + kColumnSpacing;
  l.title = QRectF(cx - std::max(titleMetrics.horizontalAdvance(kTitle), 1.0) / 2 - 4, y,
                   titleMetrics.horizontalAdvance(kTitle) + 8, titleH);
  y += titleH + kTextSpacing;
  l.message = QRectF(cx - messageW / 2, y, messageW, messageH);
  y += messageH + kColumnSpacing + kButtonExtraTop;
  l.button = QRectF(cx - buttonW / 2, y, buttonW, buttonH);
  return l;
}

QRectF MacBlockingOverlayView::buttonRect() const { return layout().button; }
QRectF MacBlockingOverlayView::messageRect() const { return layout().message; }
QRectF MacBlockingOverlayView::emblemRect() const { return layout().emblem; }

// The glow at its strongest, the disc with its lock, and the texts and button, each drawn once into an
// image; a frame of the pulse or the entrance only blends them. Painting them afresh, gradients and text,
// at every frame of a full-screen window cost most of what the app spent while it blocked.
struct MacBlockingOverlayView::Layers {
  QImage glow;     // centred on the emblem; drawn at opacity glow × 0.24
  QImage content;  // the column without the glow
  QPointF glowOrigin;
  QPointF contentOrigin;
  // What they were drawn for.
  QSize size;
  QString message;
  Appearance appearance = Appearance::light;
  qreal ratio = 1;

  bool fit(QSize s, const QString& m, Appearance a, qreal r) const {
    return size == s && message == m && appearance == a && ratio == r;
  }
};

std::shared_ptr<const MacBlockingOverlayView::Layers>& MacBlockingOverlayView::lastLayers() {
  static std::shared_ptr<const Layers> layers;
  return layers;
}

QRect MacBlockingOverlayView::contentBounds(const Layout& l) {
  return l.emblem.united(l.title).united(l.message).united(l.button).adjusted(-2, -2, 2, 2).toAlignedRect();
}

QRect MacBlockingOverlayView::glowBounds(const Layout& l) { return l.emblem.adjusted(-1, -1, 1, 1).toAlignedRect(); }

void MacBlockingOverlayView::paintEvent(QPaintEvent* event) {
  paintedGlow_ = glow_;
  const Layout& l = layout();
  const Layers& layers = this->layers(l);
  QPainter p(this);
  paintWash(p, event->rect());
  const double glowOpacity = std::clamp(glow_ * 0.24, 0.0, 1.0);
  if (appear_ >= 1.0) {
    p.setOpacity(glowOpacity);
    p.drawImage(layers.glowOrigin, layers.glow);
    p.setOpacity(1.0);
    p.drawImage(layers.contentOrigin, layers.content);
    return;
  }
  // Scaled about the window's centre: an image drawn through a transform is filled row by row, so it
  // goes in bands. At 97 % and more for a fraction of a second, the nearest pixel does.
  paintInBands(p, event->rect(), [&](const QRect&) {
    const QPointF centre(width() / 2.0, height() / 2.0);
    p.translate(centre);
    p.scale(contentScale(), contentScale());
    p.translate(-centre);
    p.setOpacity(contentOpacity() * glowOpacity);
    p.drawImage(layers.glowOrigin, layers.glow);
    p.setOpacity(contentOpacity());
    p.drawImage(layers.contentOrigin, layers.content);
  });
}

void MacBlockingOverlayView::paintWash(QPainter& p, const QRect& area) const {
  // No behind-window blur on this platform; a gradient from top to bottom carries the shield. Each row is
  // one colour, filled on its own: a gradient fill of many rows would go to Qt's thread pool.
  const bool dark = colorScheme() == Appearance::dark;
  const QColor top = withOpacity(dark ? Theme::blue800() : Theme::blue100(), 0.92);
  const QColor bottom = withOpacity(Theme::background.resolve(dark ? Appearance::dark : Appearance::light), 0.78);
  const QRect rows = area.intersected(rect());
  const double span = std::max(1, height());
  // The wash is the bottom layer of a cleared area: written, not blended.
  p.setCompositionMode(QPainter::CompositionMode_Source);
  for (int y = rows.top(); y <= rows.bottom(); ++y) {
    // Mixed with the alpha multiplied in, as Qt's gradients mix.
    const float t = static_cast<float>(std::clamp((y + 0.5) / span, 0.0, 1.0));
    const float alpha = top.alphaF() + t * (bottom.alphaF() - top.alphaF());
    const auto mix = [&](float a, float b) {
      return alpha > 0 ? ((1 - t) * a * top.alphaF() + t * b * bottom.alphaF()) / alpha : 0.0f;
    };
    QColor colour;
    colour.setRgbF(mix(top.redF(), bottom.redF()), mix(top.greenF(), bottom.greenF()), mix(top.blueF(), bottom.blueF()),
                   alpha);
    p.fillRect(QRect(rows.left(), y, rows.width(), 1), colour);
  }
  p.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

const MacBlockingOverlayView::Layers& MacBlockingOverlayView::layers(const Layout& l) const {
  const Appearance appearance = colorScheme() == Appearance::dark ? Appearance::dark : Appearance::light;
  const qreal ratio = devicePixelRatioF();
  const QString text = message();
  if (layers_ && layers_->fit(size(), text, appearance, ratio)) return *layers_;
  if (const auto& last = lastLayers(); last && last->fit(size(), text, appearance, ratio)) {
    layers_ = last;
    return *layers_;
  }
  auto made = std::make_shared<Layers>();
  made->size = size();
  made->message = text;
  made->appearance = appearance;
  made->ratio = ratio;
  const auto blank = [ratio](const QRect& bounds) {
    QImage image((QSizeF(bounds.size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    return image;
  };

  const QRect glowArea = glowBounds(l);
  made->glow = blank(glowArea);
  made->glowOrigin = glowArea.topLeft();
  {
    QPainter p(&made->glow);
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(-glowArea.topLeft());
    const QPointF centre = l.emblem.center();
    QRadialGradient gradient(centre, 130);
    gradient.setColorAt(0, Theme::accent());
    gradient.setColorAt(1, withOpacity(Theme::accent(), 0));
    p.setPen(Qt::NoPen);
    p.setBrush(gradient);
    p.drawEllipse(centre, kEmblem / 2, kEmblem / 2);
  }

  const QRect contentArea = contentBounds(l);
  made->content = blank(contentArea);
  made->contentOrigin = contentArea.topLeft();
  {
    QPainter p(&made->content);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.translate(-contentArea.topLeft());
    paintContent(p, l, appearance);
  }
  layers_ = made;
  lastLayers() = std::move(made);
  return *layers_;
}

void MacBlockingOverlayView::paintContent(QPainter& p, const Layout& l, Appearance appearance) {
  const bool dark = appearance == Appearance::dark;
  const QPointF emblemCentre = l.emblem.center();
  const QRectF disc(emblemCentre.x() - kDisc / 2, emblemCentre.y() - kDisc / 2, kDisc, kDisc);
  p.setPen(Qt::NoPen);
  p.setBrush(withOpacity(dark ? Theme::blue700() : QColor(Qt::white), 0.7));
  p.drawEllipse(disc);
  p.setPen(QPen(withOpacity(Theme::accent(), 0.3), 1));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(disc.adjusted(0.5, 0.5, -0.5, -0.5));

  const QColor symbolColour = dark ? Theme::blue300() : Theme::blue600();
  drawLock(p, emblemCentre, symbolColour);

  p.setPen(symbolColour);
  p.setFont(titleFont());
  p.drawText(l.title, Qt::AlignCenter, kTitle);

  p.setPen(Theme::textSecondary.resolve(appearance));
  p.setFont(messageFont());
  QRectF line(l.message.left(), l.message.top(), l.message.width(), l.messageLineHeight);
  for (const QString& text : l.messageLines) {
    p.drawText(line, Qt::AlignHCenter | Qt::AlignTop, text);
    line.translate(0, l.messageLineHeight);
  }

  p.setPen(Qt::NoPen);
  p.setBrush(Theme::accent());
  p.drawRoundedRect(l.button, l.button.height() / 2, l.button.height() / 2);
  p.setPen(Qt::white);
  p.setFont(buttonFont());
  p.drawText(l.button, Qt::AlignCenter, QStringLiteral("Back to focus"));
}

void MacBlockingOverlayView::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!event->spontaneous() && !appeared_) startAnimations();
}

void MacBlockingOverlayView::startAnimations() {
  appeared_ = true;
  // A shield shown at full size has nothing to grow: its entrance would redraw the column for nothing.
  if (appear_ < 1.0) startEntrance();
  startPulse();
}

void MacBlockingOverlayView::startEntrance() {
  // Ease-out over 0.3 s at 30 frames a second: each frame redraws the whole column, and twice the frames
  // would double the cost of every shield without a visible gain in so short a change.
  entrance_ = new QTimer(this);
  entrance_->setTimerType(Qt::PreciseTimer);
  entrance_->setInterval(kEntranceFrame);
  entranceClock_.start();
  const double from = appear_;
  connect(entrance_, &QTimer::timeout, this, [this, from] {
    const double t = std::min(1.0, static_cast<double>(entranceClock_.elapsed()) / kEntranceDuration.count());
    setAppearProgress(from + (1.0 - from) * QEasingCurve(QEasingCurve::OutQuad).valueForProgress(t));
    if (t >= 1.0) entrance_->stop();
  });
  entrance_->start();
}

void MacBlockingOverlayView::startPulse() {
  // The glow swings slowly for as long as the shield stands: a few frames a second over the emblem alone
  // keep a full-screen window from costing a core.
  pulse_ = new QTimer(this);
  pulse_->setInterval(kPulseFrame);
  pulseClock_.start();
  connect(pulse_, &QTimer::timeout, this, [this] { setGlow(glowAt(pulseClock_.elapsed())); });
  pulse_->start();
}

double MacBlockingOverlayView::glowAt(qint64 elapsedMs) {
  // Up from 0.7 to 1.0 in one period, down in the next, ease-in-and-out.
  const qint64 period = kPulsePeriod.count();
  const qint64 phase = elapsedMs % (2 * period);
  const double t = static_cast<double>(phase < period ? phase : 2 * period - phase) / static_cast<double>(period);
  return 0.7 + 0.3 * QEasingCurve(QEasingCurve::InOutQuad).valueForProgress(t);
}

void MacBlockingOverlayView::mousePressEvent(QMouseEvent* event) {
  pressed_ = buttonRect().contains(event->position());
  event->accept();
}

void MacBlockingOverlayView::mouseReleaseEvent(QMouseEvent* event) {
  const bool hit = pressed_ && buttonRect().contains(event->position());
  pressed_ = false;
  event->accept();
  if (hit && onDismiss_) onDismiss_();
}

}  // namespace velmoria
