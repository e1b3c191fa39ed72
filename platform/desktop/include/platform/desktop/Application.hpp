#pragma once

#include <QObject>
#include <memory>

#include "platform/ApplicationDelegate.hpp"

class QSocketNotifier;
class QSessionManager;
class QWidget;

namespace velmoria::platform::desktop {

// Turns every way of ending the app into one terminate request that the delegate may refuse: the quit
// key and the close button of a window it watches, SIGTERM, SIGINT and SIGHUP (taken to the main thread
// through a pipe), and the session manager's logout. SIGKILL cannot be refused.
class Application final : public QObject {
  Q_OBJECT

 public:
  // Install at most one per process (it owns the signal handlers).
  explicit Application(ApplicationDelegate& delegate, QObject* parent = nullptr);
  ~Application() override;

  // Asks the delegate; quits the event loop when it answers terminate-now. Answers whether it quit.
  bool requestTerminate();
  // A second launch or an explicit "show the window" asks this.
  void reopen();
  // The window's quit key (Ctrl+Q) and its closing become terminate requests: without a dock to bring
  // it back from, a closed window would leave the app running unseen. A refused request leaves the
  // window open.
  void watchWindow(QWidget& window);

 Q_SIGNALS:
  void terminating();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void onSignal();
  void onCommitData(QSessionManager& manager);

  ApplicationDelegate& delegate_;
  std::unique_ptr<QSocketNotifier> notifier_;
};

// QMessageBox with the style's icon and the buttons in order.
class QtAlertPresenter final : public AlertPresenter {
 public:
  int runModal(const Alert& alert) override;
};

// The application's top-level windows, in Qt's list order.
class QtWindowList final : public WindowList {
 public:
  int count() const override;
  void makeKeyAndOrderFront(int index) override;
};

bool hasVisibleWindows();

}  // namespace velmoria::platform::desktop
