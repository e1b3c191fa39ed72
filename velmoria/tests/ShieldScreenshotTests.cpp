// The real shield windows on an X server: the test runs itself again under xvfb-run with the xcb
// platform, shows the shield, checks the window hints and saves a screenshot.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <QEventLoop>
#include <QGuiApplication>
#include <QImage>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <cstdlib>
#include <cstring>

#include "BlockingTestSupport.hpp"
#include "platform/desktop/ShieldWindows.hpp"
#include "velmoria/BlockingOverlayController.hpp"

using namespace std::chrono_literals;

namespace {

constexpr const char* kChildMarker = "VELMORIA_SHIELD_UNDER_X11";

void runEventsFor(std::chrono::milliseconds duration) {
  QEventLoop loop;
  QTimer::singleShot(duration, &loop, &QEventLoop::quit);
  loop.exec();
}

std::vector<std::string> windowStates(QWidget& window) {
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  if (x11 == nullptr) return {};
  xcb_connection_t* c = x11->connection();
  auto atomOf = [c](const char* name) {
    auto* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = r ? r->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
    std::free(r);
    return a;
  };
  auto* reply = xcb_get_property_reply(
      c,
      xcb_get_property(c, 0, static_cast<xcb_window_t>(window.winId()), atomOf("_NET_WM_STATE"), XCB_ATOM_ATOM, 0, 32),
      nullptr);
  std::vector<std::string> names;
  if (reply == nullptr) return names;
  const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
  const int count = xcb_get_property_value_length(reply) / 4;
  for (int i = 0; i < count; ++i) {
    auto* n = xcb_get_atom_name_reply(c, xcb_get_atom_name(c, atoms[i]), nullptr);
    if (n != nullptr) {
      names.emplace_back(xcb_get_atom_name_name(n), xcb_get_atom_name_name_length(n));
      std::free(n);
    }
  }
  std::free(reply);
  return names;
}

TEST(ShieldUnderX11, CoversTheScreenAboveAndOnAllWorkspaces) {
  if (std::getenv(kChildMarker) == nullptr) {
    if (std::system("command -v xvfb-run >/dev/null 2>&1") != 0) GTEST_SKIP() << "xvfb-run is not installed";
    char self[4096] = {};
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    const std::string command =
        std::string(kChildMarker) +
        "=1 QT_QPA_PLATFORM=xcb VELMORIA_APPEARANCE=dark xvfb-run -a -s '-screen 0 1280x800x24' '" + self +
        "' --gtest_filter=ShieldUnderX11.* > /dev/null 2>&1";
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the run under Xvfb failed: " << command;
    return;
  }

  velmoria::testing::app();
  ASSERT_EQ(QGuiApplication::platformName(), "xcb");
  platform::desktop::QtShieldWindowSystem windows;
  platform::ManualScheduler scheduler;  // the auto-dismiss is not what this test looks at
  velmoria::OverlayModel model;
  velmoria::BlockingOverlayController controller(model, windows, scheduler);
  controller.show("Solitaire");
  ASSERT_EQ(controller.windowCount(), static_cast<std::size_t>(QGuiApplication::screens().size()));
  runEventsFor(900ms);

  QPointer<QWidget> window = windows.lastWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->geometry(), QGuiApplication::primaryScreen()->geometry());
  const auto states = windowStates(*window);
  for (const char* wanted : {"_NET_WM_STATE_ABOVE", "_NET_WM_STATE_STICKY", "_NET_WM_STATE_FULLSCREEN"}) {
    EXPECT_NE(std::find(states.begin(), states.end(), wanted), states.end()) << wanted;
  }

  const QImage shot = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
  ASSERT_FALSE(shot.isNull());
  EXPECT_TRUE(shot.save(QString::fromStdString((velmoria::testing::testOutput() / "shield-x11.png").string())));
  // The shield is there: the button's accent blue is somewhere in the middle of the screen.
  bool accent = false;
  for (int y = shot.height() / 2; y < shot.height() && !accent; ++y) {
    const QColor c = shot.pixelColor(shot.width() / 2 - 60, y);
    accent = std::abs(c.red() - 79) < 12 && std::abs(c.green() - 112) < 12 && std::abs(c.blue() - 234) < 12;
  }
  EXPECT_TRUE(accent);

  controller.dismiss();
  runEventsFor(500ms);
  EXPECT_TRUE(window.isNull() || !window->isVisible()) << "ordered out and dropped after the fade";
}

}  // namespace
