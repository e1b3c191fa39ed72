#include "velmoria/MacRingView.hpp"

#include <QCoreApplication>
#include <QEvent>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>
#include <algorithm>
#include <cmath>

#include "velmoria/SymbolIcon.hpp"

namespace velmoria {
namespace {

QColor withOpacity(QColor c, double opacity) {
  c.setAlphaF(static_cast<float>(std::clamp(c.alphaF() * opacity, 0.0, 1.0)));
  return c;
}

QFont titleFont(double pixelSize) {
  QFont f = screenFont(1, QFont::ExtraBold, -1.6);
  f.setPixelSize(std::max(1, static_cast<int>(std::lround(pixelSize))));
  return f;
}

// A soft shadow of a disc: the colour fading out from `radius` inside the rim to `radius` outside it.
void paintDiscShadow(QPainter& p, QPointF centre, double discRadius, double radius, const QColor& colour) {
  const double outer = discRadius + radius;
  QRadialGradient g(centre, outer);
  const double inner = std::max(0.0, discRadius - radius) / outer;
  g.setColorAt(0, colour);
  g.setColorAt(inner, colour);
  g.setColorAt(inner + (1 - inner) * 0.5, withOpacity(colour, 0.35));
  g.setColorAt(1, withOpacity(colour, 0));
  p.setPen(Qt::NoPen);
  p.setBrush(g);
  p.drawEllipse(centre, outer, outer);
}

}  // namespace

MacRingView::MacRingView(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_TranslucentBackground);
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

namespace {

bool sameBody(const RingState& a, const RingState& b) {
  return a.isLocked == b.isLocked && a.arcProgress == b.arcProgress && a.outerSize == b.outerSize &&
         a.trackSize == b.trackSize && a.innerSize == b.innerSize;
}

}  // namespace

void MacRingView::setState(const RingState& state) {
  const bool glowOnly = sameBody(state, state_);
  if (glowOnly && state.glowPulse == state_.glowPulse) return;
  state_ = state;
  if (glowOnly) {
    // Near the ends of its swing the glow moves its centre by less than a step of colour per frame; such
    // a frame is left out and the next one shows both.
    if (std::abs(state.glowPulse - paintedGlow_) < kGlowStepWorthAFrame) return;
    paintedGlow_ = state.glowPulse;
    update(glowRect());
    return;
  }
  paintedGlow_ = state.glowPulse;
  updateGeometry();
  update();
}

QRect MacRingView::glowRect() const {
  const QPointF c(width() / 2.0, height() / 2.0);
  // The glow fades out linearly to its rim; in its outermost 6 % a whole pulse moves a pixel by less than
  // one step of colour, so a frame leaves that band (and the texts that reach into it) alone.
  const double outer = glowRadius(state_) * 0.94 + 1;
  // A rectangle: an exact ring would be cut into hundreds of strips, each painted on its own.
  return QRectF(c.x() - outer, c.y() - outer, 2 * outer, 2 * outer).toAlignedRect();
}

void MacRingView::setColorScheme(std::optional<Appearance> scheme) {
  scheme_ = scheme;
  update();
}

Appearance MacRingView::colorScheme() const { return scheme_ ? *scheme_ : currentAppearance(); }

QSize MacRingView::sizeHint() const {
  const int side = static_cast<int>(std::ceil(state_.outerSize + 2 * overflow));
  return QSize(side, side);
}

QRectF MacRingView::ringFrame() const {
  const QPointF c(width() / 2.0, height() / 2.0);
  return QRectF(c.x() - state_.outerSize / 2, c.y() - state_.outerSize / 2, state_.outerSize, state_.outerSize);
}

QString MacRingView::title(bool isLocked) {
  return isLocked ? QCoreApplication::translate("MacRingView", "Locked.")
                  : QCoreApplication::translate("MacRingView", "velmoria.");
}

QString MacRingView::caption(bool isLocked) {
  return (isLocked ? QCoreApplication::translate("MacRingView", "Active")
                   : QCoreApplication::translate("MacRingView", "Following"))
      .toUpper();
}

double MacRingView::fittedTitleSize(bool isLocked, double width) {
  const double size = isLocked ? 42 : 32;
  const double natural = QFontMetricsF(titleFont(size)).horizontalAdvance(title(isLocked));
  if (natural <= width || natural <= 0) return size;
  return std::max(size * 0.7, size * width / natural);
}

void MacRingView::paintRing(QPainter& p, QPointF c, const RingState& s, Appearance appearance) {
  paintGlow(p, c, s);
  paintBody(p, c, s, appearance);
}

double MacRingView::glowRadius(const RingState& s) { return s.outerSize * 0.5 + 18; }

void MacRingView::paintGlow(QPainter& p, QPointF c, const RingState& s) {
  if (!s.isLocked) return;
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  const double radius = glowRadius(s);
  QRadialGradient glow(c, radius);
  glow.setColorAt(0, withOpacity(Theme::accent(), s.glowPulse * 0.22));
  glow.setColorAt(1, withOpacity(Theme::accent(), 0));
  p.setPen(Qt::NoPen);
  p.setBrush(glow);
  p.drawEllipse(c, radius, radius);
  p.restore();
}

void MacRingView::paintBody(QPainter& p, QPointF c, const RingState& s, Appearance appearance) {
  paintTrack(p, c, s, appearance);
  paintArc(p, c, s);
  paintDisc(p, c, s, appearance);
}

namespace {

QRectF trackRect(QPointF c, const RingState& s) {
  const double r = s.trackSize / 2;
  return QRectF(c.x() - r, c.y() - r, s.trackSize, s.trackSize);
}

}  // namespace

void MacRingView::paintTrack(QPainter& p, QPointF c, const RingState& s, Appearance appearance) {
  const bool dark = appearance == Appearance::dark;
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  // 2. Track and 3. arc, centred on the track's diameter.
  p.setBrush(Qt::NoBrush);
  QPen trackPen(dark ? Theme::gray800() : Theme::gray100(), 1.5, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
  p.setPen(trackPen);
  p.drawEllipse(trackRect(c, s));
  p.restore();
}

void MacRingView::paintArc(QPainter& p, QPointF c, const RingState& s) {
  const double progress = std::clamp(s.arcProgress, 0.0, 1.0);
  if (!s.isLocked || progress <= 0) return;
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(Theme::accent(), 3, Qt::SolidLine, Qt::RoundCap, Qt::MiterJoin));
  if (progress >= 1) {
    p.drawEllipse(trackRect(c, s));
  } else {
    p.drawArc(trackRect(c, s), 90 * 16, -static_cast<int>(std::lround(progress * 360 * 16)));
  }
  p.restore();
}

void MacRingView::paintDisc(QPainter& p, QPointF c, const RingState& s, Appearance appearance) {
  const bool dark = appearance == Appearance::dark;
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  // 4. Disc with its shadow, title and caption.
  const double dr = s.innerSize / 2;
  const QRectF disc(c.x() - dr, c.y() - dr, s.innerSize, s.innerSize);
  if (s.isLocked) {
    paintDiscShadow(p, c, dr, 30, withOpacity(Theme::accent(), 0.25));
    QLinearGradient fill(disc.topLeft(), disc.bottomRight());
    fill.setColorAt(0, dark ? Theme::blue700() : Theme::blue200());
    fill.setColorAt(1, dark ? Theme::blue800() : Theme::blue100());
    p.setBrush(fill);
  } else {
    paintDiscShadow(p, c + QPointF(0, 2), dr, 8, QColor(0, 0, 0, dark ? 64 : 20));
    p.setBrush(dark ? Theme::gray900() : QColor(Qt::white));
  }
  p.setPen(Qt::NoPen);
  p.drawEllipse(disc);

  const QString titleText = title(s.isLocked);
  const QFont tf = titleFont(fittedTitleSize(s.isLocked, s.innerSize));
  const QFont cf = screenFont(11, QFont::DemiBold, 1.1);
  const QFontMetricsF tm(tf), cm(cf);
  const double block = tm.height() + 8 + cm.height();
  const double top = c.y() - block / 2;
  const QColor titleColour =
      s.isLocked ? (dark ? Theme::blue300() : Theme::blue600()) : Theme::textPrimary.resolve(appearance);
  const QColor captionColour = s.isLocked ? withOpacity(dark ? Theme::blue400() : Theme::blue500(), 0.7)
                                          : Theme::textTertiary.resolve(appearance);
  p.setClipRect(disc);
  p.setFont(tf);
  p.setPen(titleColour);
  p.drawText(QRectF(disc.left(), top, disc.width(), tm.height()), Qt::AlignCenter | Qt::TextSingleLine, titleText);
  p.setFont(cf);
  p.setPen(captionColour);
  p.drawText(QRectF(disc.left(), top + tm.height() + 8, disc.width(), cm.height()), Qt::AlignCenter,
             caption(s.isLocked));
  p.restore();
}

void MacRingView::paintBodyLayers(QPainter& painter, Appearance appearance, qreal ratio) {
  const QPointF c(width() / 2.0, height() / 2.0);
  if (state_.arcProgress <= 0 || state_.arcProgress >= 1 || !state_.isLocked) {
    sweepLayers_.reset();
    paintBody(painter, c, state_, appearance);
    return;
  }
  // Mid-sweep the arc alone moves, at every frame: what lies under and over it is drawn once.
  RingState still = state_;
  still.arcProgress = 0;
  if (!sweepLayers_ || !sameBody(sweepLayers_->state, still) || sweepLayers_->appearance != appearance ||
      sweepLayers_->under.size() != body_.size() || sweepLayers_->under.devicePixelRatio() != ratio) {
    sweepLayers_ = std::make_unique<SweepLayers>();
    sweepLayers_->state = still;
    sweepLayers_->appearance = appearance;
    for (QImage* layer : {&sweepLayers_->under, &sweepLayers_->over}) {
      *layer = QImage(body_.size(), QImage::Format_ARGB32_Premultiplied);
      layer->setDevicePixelRatio(ratio);
      layer->fill(Qt::transparent);
    }
    QPainter under(&sweepLayers_->under);
    paintTrack(under, c, state_, appearance);
    QPainter over(&sweepLayers_->over);
    paintDisc(over, c, state_, appearance);
  }
  painter.drawImage(0, 0, sweepLayers_->under);
  paintArc(painter, c, state_);
  painter.drawImage(0, 0, sweepLayers_->over);
}

void MacRingView::paintEvent(QPaintEvent*) {
  const Appearance appearance = colorScheme();
  const qreal ratio = devicePixelRatioF();
  const QSize pixels = (QSizeF(size()) * ratio).toSize();
  if (body_.size() != pixels || body_.devicePixelRatio() != ratio || bodyAppearance_ != appearance ||
      !sameBody(bodyState_, state_)) {
    // Redrawn at every frame of a sweep: the buffer is kept, a fresh one per frame costs as much as the
    // drawing.
    if (body_.size() != pixels || body_.devicePixelRatio() != ratio) {
      body_ = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
      body_.setDevicePixelRatio(ratio);
    }
    body_.fill(Qt::transparent);
    QPainter painter(&body_);
    paintBodyLayers(painter, appearance, ratio);
    bodyState_ = state_;
    bodyAppearance_ = appearance;
  }
  QPainter p(this);
  if (state_.isLocked) {
    const double radius = glowRadius(state_);
    const QSize glowPixels = (QSizeF(2 * radius, 2 * radius) * ratio).toSize();
    if (glow_.size() != glowPixels || glow_.devicePixelRatio() != ratio) {
      glow_ = QPixmap(glowPixels);
      glow_.setDevicePixelRatio(ratio);
      glow_.fill(Qt::transparent);
      QPainter painter(&glow_);
      RingState full = state_;
      full.glowPulse = 1 / 0.22;  // the gradient's centre fully opaque
      paintGlow(painter, QPointF(radius, radius), full);
    }
    p.setOpacity(std::clamp(state_.glowPulse * 0.22, 0.0, 1.0));
    p.drawPixmap(QPointF(width() / 2.0 - radius, height() / 2.0 - radius), glow_);
    p.setOpacity(1);
  }
  p.drawImage(0, 0, body_);
}

void MacRingView::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::ApplicationPaletteChange || event->type() == QEvent::ThemeChange) update();
}

}  // namespace velmoria
