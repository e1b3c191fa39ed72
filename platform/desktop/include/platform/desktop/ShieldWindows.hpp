#pragma once

#include <QPointer>
#include <QRect>
#include <QWidget>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

namespace velmoria::platform::desktop {

// One borderless, transparent, topmost window that takes every click.
class ShieldWindow {
 public:
  virtual ~ShieldWindow() = default;
  // Shows the window from fully transparent to opaque.
  virtual void fadeIn() = 0;
  virtual void fadeOut(std::chrono::milliseconds duration, std::function<void()> done) = 0;
  // Takes the window off the screen; it is not closed.
  virtual void orderOut() = 0;
};

// The screens and their shield windows.
class ShieldWindowSystem {
 public:
  using ContentFactory = std::function<std::unique_ptr<QWidget>()>;
  virtual ~ShieldWindowSystem() = default;
  // Every screen's frame, in the platform's order.
  virtual std::vector<QRect> screens() = 0;
  virtual std::unique_ptr<ShieldWindow> createWindow(const QRect& frame, const ContentFactory& content) = 0;
  // Brings this application to the front.
  virtual void activateApplication() = 0;
};

// Qt windows, one per QScreen; on X11 they are marked above, sticky (all workspaces), full screen and
// out of the task bar through EWMH before they are mapped. Elsewhere: frameless and stay-on-top. A window
// that is dropped is hidden and kept to be shown again with the next content.
class QtShieldWindowSystem final : public ShieldWindowSystem {
 public:
  struct Pool;
  QtShieldWindowSystem();
  ~QtShieldWindowSystem() override;
  QtShieldWindowSystem(const QtShieldWindowSystem&) = delete;
  QtShieldWindowSystem& operator=(const QtShieldWindowSystem&) = delete;

  std::vector<QRect> screens() override;
  std::unique_ptr<ShieldWindow> createWindow(const QRect& frame, const ContentFactory& content) override;
  void activateApplication() override;
  // The newest shield window shown by this system (for screenshots); null once it is deleted.
  QWidget* lastWindow() const { return last_; }
  // Hidden windows waiting to be shown again.
  std::size_t idleWindowCount() const;

 private:
  QPointer<QWidget> last_;
  std::shared_ptr<Pool> pool_;
};

// Records windows for tests; a fade-out completes when the test says so.
class FakeShieldWindowSystem final : public ShieldWindowSystem {
 public:
  struct Window final : ShieldWindow {
    QRect frame;
    std::unique_ptr<QWidget> content;
    bool fadedIn = false;
    bool fadingOut = false;
    bool orderedOut = false;
    std::chrono::milliseconds fadeDuration{0};
    std::function<void()> fadeDone;
    void fadeIn() override { fadedIn = true; }
    void fadeOut(std::chrono::milliseconds duration, std::function<void()> done) override {
      fadingOut = true;
      fadeDuration = duration;
      fadeDone = std::move(done);
    }
    void orderOut() override { orderedOut = true; }
    ~Window() override;
  };

  FakeShieldWindowSystem() = default;
  FakeShieldWindowSystem(const FakeShieldWindowSystem&) = delete;
  FakeShieldWindowSystem& operator=(const FakeShieldWindowSystem&) = delete;
  // Drops fades that never completed, and with them the windows they hold.
  ~FakeShieldWindowSystem() override;

  std::vector<QRect> screens() override { return screenFrames; }
  std::unique_ptr<ShieldWindow> createWindow(const QRect& frame, const ContentFactory& content) override;
  void activateApplication() override { ++activations; }

  // Runs every pending fade-out completion.
  void finishFades();

  std::vector<QRect> screenFrames{QRect(0, 0, 1440, 900)};
  std::vector<Window*> created;  // alive ones; a destroyed window removes itself
  int createdCount = 0;
  int destroyedCount = 0;
  int activations = 0;
};

}  // namespace velmoria::platform::desktop
