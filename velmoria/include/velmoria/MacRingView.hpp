#pragma once

#include <QImage>
#include <QPixmap>
#include <QPointF>
#include <QString>
#include <QWidget>
#include <memory>
#include <optional>

#include "velmoria/Theme.hpp"

class QPainter;

namespace velmoria {

// What the session ring draws; the home screen hands in fresh values on every redraw.
struct RingState {
  bool isLocked = false;
  double arcProgress = 0;  // 0 to 1 of the full circle, from 12 o'clock clockwise
  double glowPulse = 0.7;  // glow strength, 0.7 to 1.0 while the home screen animates it
  double outerSize = 252;
  double trackSize = 232;
  double innerSize = 224;
};

// The round emblem at the centre of the home screen. The glow and the disc shadow spill past the
// ring's frame, so the widget is larger than the ring by `overflow` on every side; the ring's own frame
// is ringFrame().
class MacRingView : public QWidget {
  Q_OBJECT

 public:
  static constexpr double overflow = 36;

  explicit MacRingView(QWidget* parent = nullptr);

  void setState(const RingState& state);
  const RingState& state() const { return state_; }
  void setColorScheme(std::optional<Appearance> scheme);
  Appearance colorScheme() const;

  QRectF ringFrame() const;
  QSize sizeHint() const override;

  static QString title(bool isLocked);
  static QString caption(bool isLocked);
  // The title's pixel size after shrinking to fit `width`, at most down to 70 %.
  static double fittedTitleSize(bool isLocked, double width);

  // Draws the ring centred on `centre`: the glow, then the rest (the body).
  static void paintRing(QPainter& painter, QPointF centre, const RingState& state, Appearance appearance);
  static void paintGlow(QPainter& painter, QPointF centre, const RingState& state);
  static void paintBody(QPainter& painter, QPointF centre, const RingState& state, Appearance appearance);
  // The body's three layers, bottom up.
  static void paintTrack(QPainter& painter, QPointF centre, const RingState& state, Appearance appearance);
  static void paintArc(QPainter& painter, QPointF centre, const RingState& state);
  static void paintDisc(QPainter& painter, QPointF centre, const RingState& state, Appearance appearance);
  static double glowRadius(const RingState& state);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  // Where the glow shows. A change of the glow alone redraws only this.
  QRect glowRect() const;
  void paintBodyLayers(QPainter& painter, Appearance appearance, qreal ratio);

  RingState state_;
  // The glow strength last asked to be drawn, and the least change worth a frame (a step of colour at
  // the glow's centre: 0.02 × 0.22 of full strength).
  double paintedGlow_ = 0;
  static constexpr double kGlowStepWorthAFrame = 0.02;
  std::optional<Appearance> scheme_;
  // The body as last drawn; the glow pulses forever, the body rarely changes.
  QImage body_;
  RingState bodyState_;
  // While the arc sweeps: the body under the arc and over it, kept for the sweep's frames.
  struct SweepLayers {
    QImage under;
    QImage over;
    RingState state;
    Appearance appearance = Appearance::light;
  };
  std::unique_ptr<SweepLayers> sweepLayers_;
  // The glow at full strength, drawn at the pulse's opacity.
  QPixmap glow_;
  Appearance bodyAppearance_ = Appearance::light;
};

}  // namespace velmoria
