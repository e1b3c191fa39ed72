#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QRectF>
#include <QWidget>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include "velmoria/OverlayModel.hpp"
#include "velmoria/Theme.hpp"

class QPainter;
class QTimer;

namespace velmoria {

// The content of a shield window: the lock emblem, "Locked.", the blocked app's name and the
// "Back to focus" button, on a translucent blue gradient.
class MacBlockingOverlayView : public QWidget {
  Q_OBJECT

 public:
  MacBlockingOverlayView(OverlayModel& model, std::function<void()> onDismiss, QWidget* parent = nullptr);
  ~MacBlockingOverlayView() override;

  // The scheme to draw in; by default the application's current appearance.
  void setColorScheme(std::optional<Appearance> scheme);
  Appearance colorScheme() const;

  // Entrance progress from 0 (hidden, 97 %) to 1 (shown, full size), and the glow strength.
  double appearProgress() const { return appear_; }
  double contentOpacity() const { return appear_; }
  double contentScale() const { return 0.97 + 0.03 * appear_; }
  double glow() const { return glow_; }
  void setAppearProgress(double progress);
  void setGlow(double glow);
  // The glow's pulse, `elapsedMs` after it started.
  static constexpr std::chrono::milliseconds kPulsePeriod{1600};
  static double glowAt(qint64 elapsedMs);
  bool appeared() const { return appeared_; }

  QString message() const;
  // The message as drawn, one entry per line.
  QStringList messageLines() const;
  // Where the button, the message and the emblem sit, in widget coordinates (at full size).
  QRectF buttonRect() const;
  QRectF messageRect() const;
  QRectF emblemRect() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  struct Layout;
  struct Layers;
  // The layers of the shield shown last: a shield comes with a new view, most often for the same app on
  // the same screen.
  static std::shared_ptr<const Layers>& lastLayers();
  // Where everything stands at full size, kept until the size or the name changes.
  const Layout& layout() const;
  Layout computeLayout() const;
  const Layers& layers(const Layout& l) const;
  static QRect contentBounds(const Layout& l);
  static QRect glowBounds(const Layout& l);
  static void paintContent(QPainter& p, const Layout& l, Appearance appearance);
  void paintWash(QPainter& p, const QRect& area) const;
  void startAnimations();
  void startEntrance();
  void startPulse();

  QPointer<OverlayModel> model_;
  std::function<void()> onDismiss_;
  std::optional<Appearance> scheme_;
  double glow_ = 0.7;
  double paintedGlow_ = 0.7;  // the strength last drawn or asked to be
  double appear_ = 0.0;
  bool appeared_ = false;
  bool pressed_ = false;
  QTimer* entrance_ = nullptr;
  QElapsedTimer entranceClock_;
  QTimer* pulse_ = nullptr;
  QElapsedTimer pulseClock_;
  mutable std::unique_ptr<Layout> layout_;
  mutable QSize layoutSize_;
  mutable std::shared_ptr<const Layers> layers_;
};

}  // namespace velmoria
