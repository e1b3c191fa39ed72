#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/MainScheduler.hpp"
#include "platform/desktop/ShieldWindows.hpp"
#include "velmoria/OverlayModel.hpp"

namespace velmoria {

// Covers every screen with a shield naming the app just terminated; it goes away 3 seconds after the
// last show, when the shield's button is pressed, or when blocking stops.
class BlockingOverlayController : public QObject {
  Q_OBJECT

 public:
  static constexpr std::uint64_t autoDismissSeconds = 3;

  BlockingOverlayController(OverlayModel& model, platform::desktop::ShieldWindowSystem& windowSystem,
                            platform::MainScheduler& scheduler, QObject* parent = nullptr);
  ~BlockingOverlayController() override;

  // Shows the shield (or refreshes its text) and restarts the auto-dismiss period.
  void show(const QString& appName);
  // Fades the windows out and drops them; nothing when no shield is up.
  void dismiss();

  bool isPresented() const { return isPresented_; }
  std::size_t windowCount() const { return windows_.size(); }
  OverlayModel& model() { return model_; }

 Q_SIGNALS:
  // A shield went up over every screen, or went away (its fade-out starting).
  void presentedChanged(bool presented);

 private:
  void presentWindows();
  void scheduleAutoDismiss();

  std::vector<std::unique_ptr<platform::desktop::ShieldWindow>> windows_;
  OverlayModel& model_;
  std::unique_ptr<platform::MainTimer> dismissTask_;
  bool isPresented_ = false;
  platform::desktop::ShieldWindowSystem& windowSystem_;
};

}  // namespace velmoria
