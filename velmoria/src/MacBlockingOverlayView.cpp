#include "velmoria/MacBlockingOverlayView.hpp"

#include <QCoreApplication>
#include <QEasingCurve>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTextLayout>
#include <QTimer>
#include <QVariantAnimation>

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
constexpr std::chrono::milliseconds kPulseFrame{200};

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
  connect(&model, &OverlayModel::appNameChanged, this, qOverload<>(&QWidget::update));
}

MacBlockingOverlayView::~MacBlockingOverlayView() = default;

void MacBlockingOverlayView::setColorScheme(std::optional<Appearance> scheme) {
  scheme_ = scheme;
  update();
}

Appearance MacBlockingOverlayView::colorScheme() const { return scheme_ ? *scheme_ : currentAppearance(); }

void MacBlockingOverlayView::setAppearProgress(double progress) {
  appear_ = std::clamp(progress, 0.0, 1.0);
  update();
}

void MacBlockingOverlayView::setGlow(double glow) {
  glow_ = glow;
  // Only the emblem changes; the margin covers the entrance's scaling about the centre.
  update(layout().emblem.adjusted(-24, -24, 24, 24).toAlignedRect());
}

QString MacBlockingOverlayView::message() const {
  const QString name = model_ ? model_->appName() : QString();
  return name +
         QCoreApplication::translate("MacBlockingOverlayView", " is blocked while your focus session is running.");
}

MacBlockingOverlayView::Layout MacBlockingOverlayView::layout() const {
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

void MacBlockingOverlayView::paintEvent(QPaintEvent*) {
  const bool dark = colorScheme() == Appearance::dark;
  const Appearance appearance = dark ? Appearance::dark : Appearance::light;
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);

  // No behind-window blur on this platform; the gradient carries the shield.
  QLinearGradient wash(0, 0, 0, height());
  wash.setColorAt(0, withOpacity(dark ? Theme::blue800() : Theme::blue100(), 0.92));
  wash.setColorAt(1, withOpacity(Theme::background.resolve(appearance), 0.78));
  p.fillRect(rect(), wash);

  const Layout l = layout();
  p.save();
  p.setOpacity(contentOpacity());
  const QPointF centre(width() / 2.0, height() / 2.0);
  p.translate(centre);
  p.scale(contentScale(), contentScale());
  p.translate(-centre);

  const QPointF emblemCentre = l.emblem.center();
  QRadialGradient glowGradient(emblemCentre, 130);
  glowGradient.setColorAt(0, withOpacity(Theme::accent(), glow_ * 0.24));
  glowGradient.setColorAt(1, withOpacity(Theme::accent(), 0));
  p.setPen(Qt::NoPen);
  p.setBrush(glowGradient);
  p.drawEllipse(emblemCentre, kEmblem / 2, kEmblem / 2);

  const QRectF disc(emblemCentre.x() - kDisc / 2, emblemCentre.y() - kDisc / 2, kDisc, kDisc);
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
  p.restore();
}

void MacBlockingOverlayView::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!event->spontaneous() && !appeared_) startAnimations();
}

void MacBlockingOverlayView::startAnimations() {
  appeared_ = true;
  entrance_ = new QVariantAnimation(this);
  entrance_->setStartValue(appear_);
  entrance_->setEndValue(1.0);
  entrance_->setDuration(300);
  entrance_->setEasingCurve(QEasingCurve::OutQuad);
  connect(entrance_, &QVariantAnimation::valueChanged, this,
          [this](const QVariant& v) { setAppearProgress(v.toDouble()); });
  entrance_->start();

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
