#include "platform/desktop/ShieldWindows.hpp"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLayoutItem>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <cstring>
#include <memory>

#include <xcb/xcb.h>

namespace velmoria::platform::desktop {
namespace {

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
  auto* reply =
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
  if (reply == nullptr) return XCB_ATOM_NONE;
  const auto a = reply->atom;
  std::free(reply);
  return a;
}

// The EWMH atoms a shield sets, asked of the server once per connection rather than at every shield.
struct ShieldAtoms {
  xcb_connection_t* connection = nullptr;
  xcb_atom_t wmState = XCB_ATOM_NONE, wmDesktop = XCB_ATOM_NONE;
  xcb_atom_t states[5] = {};
};

const ShieldAtoms& shieldAtoms(xcb_connection_t* c) {
  static ShieldAtoms atoms;
  if (atoms.connection != c) {
    atoms.connection = c;
    atoms.wmState = atom(c, "_NET_WM_STATE");
    atoms.wmDesktop = atom(c, "_NET_WM_DESKTOP");
    const char* names[] = {"_NET_WM_STATE_ABOVE", "_NET_WM_STATE_STICKY", "_NET_WM_STATE_FULLSCREEN",
                           "_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"};
    for (std::size_t i = 0; i < 5; ++i) atoms.states[i] = atom(c, names[i]);
  }
  return atoms;
}

// Above everything, on every workspace, full screen and out of the task bar and pager. Set before each
// mapping: a window manager drops the state of a window that was withdrawn.
void markAsShield(QWidget& window) {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (x11 == nullptr || x11->connection() == nullptr) return;
  xcb_connection_t* c = x11->connection();
  const ShieldAtoms& atoms = shieldAtoms(c);
  const auto id = static_cast<xcb_window_t>(window.winId());
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, atoms.wmState, XCB_ATOM_ATOM, 32, 5, atoms.states);
  const uint32_t allDesktops = 0xFFFFFFFF;
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, atoms.wmDesktop, XCB_ATOM_CARDINAL, 32, 1, &allDesktops);
  xcb_flush(c);
}

QWidget* newShieldWidget() {
  auto* window = new QWidget;
  window->setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
  window->setAttribute(Qt::WA_TranslucentBackground);
  window->setAttribute(Qt::WA_DeleteOnClose, false);
  window->setWindowTitle(QStringLiteral("velmoria"));
  auto* layout = new QVBoxLayout(window);
  layout->setContentsMargins(0, 0, 0, 0);
  return window;
}

}  // namespace

// Shield windows taken off the screen wait here to be shown again: a new full-screen window costs a
// fresh image of the whole screen, written page by page, at every shield.
struct QtShieldWindowSystem::Pool {
  std::vector<QPointer<QWidget>> idle;
  ~Pool() {
    for (const auto& window : idle) delete window.data();
  }
};

namespace {

class QtShieldWindow final : public ShieldWindow {
 public:
  QtShieldWindow(QWidget* window, const QRect& frame, const ShieldWindowSystem::ContentFactory& content,
                 std::weak_ptr<QtShieldWindowSystem::Pool> pool)
      : window_(window), pool_(std::move(pool)) {
    auto* layout = window_->layout();
    while (QLayoutItem* item = layout->takeAt(0)) {
      delete item->widget();
      delete item;
    }
    if (content) {
      if (auto widget = content()) layout->addWidget(widget.release());
    }
    for (QScreen* screen : QGuiApplication::screens()) {
      if (screen->geometry() == frame) window_->setScreen(screen);
    }
    window_->setGeometry(frame);
    markAsShield(*window_);
  }
  ~QtShieldWindow() override {
    if (!window_) return;
    window_->hide();
    const auto pool = pool_.lock();
    if (pool && pool->idle.size() < 4) {
      pool->idle.emplace_back(window_);
    } else {
      window_->deleteLater();
    }
  }
  void fadeIn() override {
    window_->setWindowOpacity(0.0);
    window_->show();
    window_->raise();
    animate(1.0, std::chrono::milliseconds(250), nullptr);
  }
  void fadeOut(std::chrono::milliseconds duration, std::function<void()> done) override {
    animate(0.0, duration, std::move(done));
  }
  void orderOut() override {
    if (window_) window_->hide();
  }
  QWidget* widget() const { return window_; }

 private:
  // A linear fade at 30 steps a second: the window's opacity is a property the window server applies,
  // and twice the steps would only wake the app twice as often.
  // A fade replaces the one still running (a fade-out cuts a fade-in short).
  void animate(double to, std::chrono::milliseconds duration, std::function<void()> done) {
    if (fade_) {
      fade_->stop();
      fade_->deleteLater();
    }
    auto* timer = new QTimer(window_);
    fade_ = timer;
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(33);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    const double from = window_->windowOpacity();
    QObject::connect(timer, &QTimer::timeout, window_,
                     [window = window_.data(), timer, clock, from, to, duration, done = std::move(done)] {
                       const double t = duration.count() > 0 ? std::min(1.0, static_cast<double>(clock->elapsed()) /
                                                                                 static_cast<double>(duration.count()))
                                                             : 1.0;
                       window->setWindowOpacity(from + (to - from) * t);
                       if (t < 1.0) return;
                       timer->stop();
                       timer->deleteLater();
                       if (done) done();
                     });
    timer->start();
  }
  QPointer<QWidget> window_;
  QPointer<QTimer> fade_;
  std::weak_ptr<QtShieldWindowSystem::Pool> pool_;
};

}  // namespace

std::vector<QRect> QtShieldWindowSystem::screens() {
  std::vector<QRect> out;
  for (QScreen* screen : QGuiApplication::screens()) out.push_back(screen->geometry());
  return out;
}

QtShieldWindowSystem::QtShieldWindowSystem() : pool_(std::make_shared<Pool>()) {}

QtShieldWindowSystem::~QtShieldWindowSystem() = default;

std::size_t QtShieldWindowSystem::idleWindowCount() const {
  return static_cast<std::size_t>(
      std::count_if(pool_->idle.begin(), pool_->idle.end(), [](const QPointer<QWidget>& w) { return !w.isNull(); }));
}

std::unique_ptr<ShieldWindow> QtShieldWindowSystem::createWindow(const QRect& frame, const ContentFactory& content) {
  QWidget* reused = nullptr;
  // The one that stood on this screen before, if it waits; else any.
  auto& idle = pool_->idle;
  std::erase_if(idle, [](const QPointer<QWidget>& w) { return w.isNull(); });
  auto found =
      std::find_if(idle.begin(), idle.end(), [&](const QPointer<QWidget>& w) { return w->geometry() == frame; });
  if (found == idle.end() && !idle.empty()) found = idle.begin();
  if (found != idle.end()) {
    reused = found->data();
    idle.erase(found);
  }
  auto window = std::make_unique<QtShieldWindow>(reused ? reused : newShieldWidget(), frame, content, pool_);
  last_ = window->widget();
  return window;
}

void QtShieldWindowSystem::activateApplication() {
  if (last_ != nullptr) {
    last_->raise();
    last_->activateWindow();
  }
}

FakeShieldWindowSystem::Window::~Window() = default;

std::unique_ptr<ShieldWindow> FakeShieldWindowSystem::createWindow(const QRect& frame, const ContentFactory& content) {
  struct Tracked final : ShieldWindow {
    FakeShieldWindowSystem& system;
    Window window;
    explicit Tracked(FakeShieldWindowSystem& s) : system(s) {}
    ~Tracked() override {
      ++system.destroyedCount;
      std::erase(system.created, &window);
    }
    void fadeIn() override { window.fadeIn(); }
    void fadeOut(std::chrono::milliseconds d, std::function<void()> done) override {
      window.fadeOut(d, std::move(done));
    }
    void orderOut() override { window.orderOut(); }
  };
  auto tracked = std::make_unique<Tracked>(*this);
  tracked->window.frame = frame;
  if (content) tracked->window.content = content();
  created.push_back(&tracked->window);
  ++createdCount;
  return tracked;
}

FakeShieldWindowSystem::~FakeShieldWindowSystem() {
  std::vector<std::function<void()>> pending;
  for (Window* w : created) {
    if (w->fadeDone) pending.push_back(std::exchange(w->fadeDone, nullptr));
  }
  pending.clear();
}

void FakeShieldWindowSystem::finishFades() {
  std::vector<std::function<void()>> pending;
  for (Window* w : created) {
    if (w->fadeDone) pending.push_back(std::exchange(w->fadeDone, nullptr));
  }
  for (auto& done : pending) done();
}

}  // namespace velmoria::platform::desktop
