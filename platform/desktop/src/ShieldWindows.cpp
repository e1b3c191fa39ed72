#include "platform/desktop/ShieldWindows.hpp"

#include <xcb/xcb.h>
#include <QGuiApplication>
#include <QPointer>
#include <QPropertyAnimation>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <cstring>

namespace platform::desktop {
namespace {

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
  auto* reply =
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
  if (reply == nullptr) return XCB_ATOM_NONE;
  const auto a = reply->atom;
  std::free(reply);
  return a;
}

// Above everything, on every workspace, full screen and out of the task bar and pager.
void markAsShield(QWidget& window) {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (x11 == nullptr || x11->connection() == nullptr) return;
  xcb_connection_t* c = x11->connection();
  const auto id = static_cast<xcb_window_t>(window.winId());
  const xcb_atom_t states[] = {atom(c, "_NET_WM_STATE_ABOVE"), atom(c, "_NET_WM_STATE_STICKY"),
                               atom(c, "_NET_WM_STATE_FULLSCREEN"), atom(c, "_NET_WM_STATE_SKIP_TASKBAR"),
                               atom(c, "_NET_WM_STATE_SKIP_PAGER")};
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, atom(c, "_NET_WM_STATE"), XCB_ATOM_ATOM, 32, 5, states);
  const uint32_t allDesktops = 0xFFFFFFFF;
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, atom(c, "_NET_WM_DESKTOP"), XCB_ATOM_CARDINAL, 32, 1, &allDesktops);
  xcb_flush(c);
}

class QtShieldWindow final : public ShieldWindow {
 public:
  QtShieldWindow(const QRect& frame, const ShieldWindowSystem::ContentFactory& content) : window_(new QWidget) {
    window_->setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    window_->setAttribute(Qt::WA_TranslucentBackground);
    window_->setAttribute(Qt::WA_DeleteOnClose, false);
    window_->setWindowTitle(QStringLiteral("velmoria"));
    auto* layout = new QVBoxLayout(window_);
    layout->setContentsMargins(0, 0, 0, 0);
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
    if (window_) window_->deleteLater();
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
  void animate(double to, std::chrono::milliseconds duration, std::function<void()> done) {
    auto* animation = new QPropertyAnimation(window_, "windowOpacity", window_);
    animation->setDuration(static_cast<int>(duration.count()));
    animation->setEndValue(to);
    QObject::connect(animation, &QPropertyAnimation::finished, window_, [done = std::move(done)] {
      if (done) done();
    });
    animation->start(QAbstractAnimation::DeleteWhenStopped);
  }
  QPointer<QWidget> window_;
};

}  // namespace

std::vector<QRect> QtShieldWindowSystem::screens() {
  std::vector<QRect> out;
  for (QScreen* screen : QGuiApplication::screens()) out.push_back(screen->geometry());
  return out;
}

std::unique_ptr<ShieldWindow> QtShieldWindowSystem::createWindow(const QRect& frame, const ContentFactory& content) {
  auto window = std::make_unique<QtShieldWindow>(frame, content);
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

}  // namespace platform::desktop
