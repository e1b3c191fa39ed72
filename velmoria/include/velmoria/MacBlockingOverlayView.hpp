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

class QVariantAnimation;
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
  // Where the button and the message sit, in widget coordinates (at full size).
  QRectF buttonRect() const;
  QRectF messageRect() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  struct Layout;
  Layout layout() const;
  void startAnimations();

  QPointer<OverlayModel> model_;
  std::function<void()> onDismiss_;
  std::optional<Appearance> scheme_;
  double glow_ = 0.7;
  double appear_ = 0.0;
  bool appeared_ = false;
  bool pressed_ = false;
  QVariantAnimation* entrance_ = nullptr;
  QTimer* pulse_ = nullptr;
  QElapsedTimer pulseClock_;
};

}  // namespace velmoria
