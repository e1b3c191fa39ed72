#include "velmoria/BlockingOverlayController.hpp"

#include <QPointer>
#include <chrono>

#include "velmoria/MacBlockingOverlayView.hpp"

namespace velmoria {

BlockingOverlayController::BlockingOverlayController(OverlayModel& model,
                                                     platform::desktop::ShieldWindowSystem& windowSystem,
                                                     platform::MainScheduler& scheduler, QObject* parent)
    : QObject(parent), model_(model), windowSystem_(windowSystem) {
  // Stopping this timer is the cancellation: a stopped period never dismisses.
  QPointer<BlockingOverlayController> self(this);
  dismissTask_ = scheduler.createTimer([self] {
    if (self) self->dismiss();
  });
}

BlockingOverlayController::~BlockingOverlayController() = default;

void BlockingOverlayController::show(const QString& appName) {
  const QString name = appName.isEmpty() ? QStringLiteral("This app") : appName;
  model_.setAppName(name);
  const bool appearing = !isPresented_;
  if (appearing) {
    isPresented_ = true;
    presentWindows();
  }
  scheduleAutoDismiss();
  if (appearing) Q_EMIT presentedChanged(true);
}

void BlockingOverlayController::presentWindows() {
  QPointer<BlockingOverlayController> self(this);
  for (const QRect& frame : windowSystem_.screens()) {
    auto window = windowSystem_.createWindow(frame, [this, self] {
      return std::make_unique<MacBlockingOverlayView>(model_, [self] {
        if (self) self->dismiss();
      });
    });
    window->fadeIn();
    windows_.push_back(std::move(window));
  }
  windowSystem_.activateApplication();
}

void BlockingOverlayController::scheduleAutoDismiss() {
  dismissTask_->stop();
  dismissTask_->start(std::chrono::seconds(autoDismissSeconds), /*repeats=*/false);
}

void BlockingOverlayController::dismiss() {
  if (!isPresented_) return;
  isPresented_ = false;
  dismissTask_->stop();
  // The fading windows live on in their completions, apart from any new set a show makes meanwhile.
  auto taken = std::make_shared<std::vector<std::unique_ptr<platform::desktop::ShieldWindow>>>(std::move(windows_));
  windows_.clear();
  for (std::size_t i = 0; i < taken->size(); ++i) {
    (*taken)[i]->fadeOut(std::chrono::milliseconds(250), [taken, i] {
      if (auto& window = (*taken)[i]) {
        window->orderOut();
        window.reset();
      }
    });
  }
  Q_EMIT presentedChanged(false);
}

}  // namespace velmoria
