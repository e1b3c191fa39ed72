#include "platform/desktop/Application.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QKeySequence>
#include <QMessageBox>
#include <QPushButton>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QWidget>
#include <array>
#include <cerrno>
#include <csignal>

namespace velmoria::platform::desktop {
namespace {

// The write end is what the async-signal-safe handler may touch.
int gSignalPipe[2] = {-1, -1};

extern "C" void onTerminateSignal(int sig) {
  const int saved = errno;
  const char byte = static_cast<char>(sig);
  [[maybe_unused]] const auto n = ::write(gSignalPipe[1], &byte, 1);
  errno = saved;
}

constexpr std::array<int, 3> kSignals{SIGTERM, SIGINT, SIGHUP};

}  // namespace

Application::Application(ApplicationDelegate& delegate, QObject* parent) : QObject(parent), delegate_(delegate) {
  if (gSignalPipe[0] < 0 && ::pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
    struct sigaction action {};
    action.sa_handler = onTerminateSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int sig : kSignals) ::sigaction(sig, &action, nullptr);
  }
  if (gSignalPipe[0] >= 0) {
    notifier_ = std::make_unique<QSocketNotifier>(gSignalPipe[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &Application::onSignal);
  }
  if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    gui->setQuitOnLastWindowClosed(delegate_.applicationShouldTerminateAfterLastWindowClosed());
    connect(gui, &QGuiApplication::commitDataRequest, this, &Application::onCommitData, Qt::DirectConnection);
  }
}

Application::~Application() {
  if (gSignalPipe[0] >= 0) {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    for (const int sig : kSignals) ::sigaction(sig, &action, nullptr);
    ::close(gSignalPipe[0]);
    ::close(gSignalPipe[1]);
    gSignalPipe[0] = gSignalPipe[1] = -1;
  }
}

bool Application::requestTerminate() {
  if (delegate_.applicationShouldTerminate() != TerminateReply::terminateNow) return false;
  Q_EMIT terminating();
  // The delegate has decided: no window may veto it now, and event loops of alerts still up (one asked
  // while the session blocked) end with the main one.
  QCoreApplication::exit(0);
  return true;
}

void Application::reopen() { delegate_.applicationShouldHandleReopen(hasVisibleWindows()); }

void Application::watchWindow(QWidget& window) {
  auto* quit = new QAction(&window);
  quit->setObjectName(QStringLiteral("quitAction"));
  QList<QKeySequence> keys = QKeySequence::keyBindings(QKeySequence::Quit);
  if (!keys.contains(QKeySequence(Qt::CTRL | Qt::Key_Q))) keys.append(QKeySequence(Qt::CTRL | Qt::Key_Q));
  quit->setShortcuts(keys);
  quit->setShortcutContext(Qt::WindowShortcut);
  // Queued: the alert of a refusal runs its own loop, which must not run inside the key's handling.
  connect(
      quit, &QAction::triggered, this, [this] { requestTerminate(); }, Qt::QueuedConnection);
  window.addAction(quit);
  window.installEventFilter(this);
}

bool Application::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Close && watched->isWidgetType()) {
    event->ignore();
    QMetaObject::invokeMethod(
        this, [this] { requestTerminate(); }, Qt::QueuedConnection);
    return true;
  }
  return QObject::eventFilter(watched, event);
}

void Application::onSignal() {
  char bytes[16];
  bool any = false;
  while (::read(gSignalPipe[0], bytes, sizeof bytes) > 0) any = true;
  if (any) requestTerminate();  // several signals at once are one request
}

void Application::onCommitData(QSessionManager& manager) {
  if (delegate_.applicationShouldTerminate() != TerminateReply::terminateNow) manager.cancel();
}

int QtAlertPresenter::runModal(const Alert& alert) {
  QMessageBox box;
  box.setText(QString::fromStdString(alert.messageText));
  box.setInformativeText(QString::fromStdString(alert.informativeText));
  switch (alert.style) {
    case AlertStyle::warning:
      box.setIcon(QMessageBox::Warning);
      break;
    case AlertStyle::informational:
      box.setIcon(QMessageBox::Information);
      break;
    case AlertStyle::critical:
      box.setIcon(QMessageBox::Critical);
      break;
  }
  std::vector<QPushButton*> buttons;
  for (const auto& title : alert.buttons)
    buttons.push_back(box.addButton(QString::fromStdString(title), QMessageBox::AcceptRole));
  if (buttons.empty()) buttons.push_back(box.addButton(QMessageBox::Ok));
  box.exec();
  for (std::size_t i = 0; i < buttons.size(); ++i) {
    if (box.clickedButton() == buttons[i]) return static_cast<int>(i);
  }
  return 0;
}

namespace {
QWidgetList appWindows() {
  QWidgetList out;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->isWindow() && !(w->windowFlags() & Qt::ToolTip) && w->windowType() != Qt::Popup) out.push_back(w);
  }
  return out;
}
}  // namespace

int QtWindowList::count() const { return static_cast<int>(appWindows().size()); }

void QtWindowList::makeKeyAndOrderFront(int index) {
  const auto windows = appWindows();
  if (index < 0 || index >= windows.size()) return;
  QWidget* w = windows[index];
  w->show();
  w->raise();
  w->activateWindow();
}

bool hasVisibleWindows() {
  for (QWidget* w : appWindows()) {
    if (w->isVisible()) return true;
  }
  return false;
}

}  // namespace velmoria::platform::desktop
