// The real shield windows and the active window on an X server: each test runs itself again under xvfb-run
// with the xcb platform; the shield's shows it, checks the window hints and saves a screenshot.
#include <sys/wait.h>
#include <unistd.h>

#include <QEventLoop>
#include <QGuiApplication>
#include <QImage>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <thread>

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include "BlockingTestSupport.hpp"
#include "platform/desktop/ShieldWindows.hpp"
#include "platform/desktop/X11ActiveWindow.hpp"
#include "velmoria/BlockingOverlayController.hpp"
#include "velmoria/MacBlockingOverlayView.hpp"

using namespace std::chrono_literals;

namespace {

constexpr const char* kChildMarker = "VELMORIA_SHIELD_UNDER_X11";

// Runs `filter` of this program again under xvfb-run, marked as the child; true when it passed.
bool passesUnderXvfb(const std::string& filter) {
  char self[4096] = {};
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return false;
  const std::string command =
      std::string(kChildMarker) +
      "=1 QT_QPA_PLATFORM=xcb VELMORIA_APPEARANCE=dark xvfb-run -a -s '-screen 0 1280x800x24' '" + self +
      "' --gtest_filter=" + filter + " > /dev/null 2>&1";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

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
    EXPECT_TRUE(passesUnderXvfb("ShieldUnderX11.*")) << "the run under Xvfb failed";
    return;
  }

  velmoria::testing::app();
  ASSERT_EQ(QGuiApplication::platformName(), "xcb");
  velmoria::platform::desktop::QtShieldWindowSystem windows;
  velmoria::platform::ManualScheduler scheduler;  // the auto-dismiss is not what this test looks at
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

  // The next shield shows in the same native window, with the new content alone in it, marked again.
  EXPECT_EQ(windows.idleWindowCount(), 1u);
  controller.show("Chess");
  runEventsFor(500ms);
  EXPECT_EQ(windows.lastWindow(), window.data()) << "a new full-screen window for every shield";
  ASSERT_FALSE(window.isNull());
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->findChildren<velmoria::MacBlockingOverlayView*>().size(), 1u);
  EXPECT_EQ(window->findChild<velmoria::MacBlockingOverlayView*>()->message().left(5), QStringLiteral("Chess"));
  const auto again = windowStates(*window);
  EXPECT_NE(std::find(again.begin(), again.end(), "_NET_WM_STATE_ABOVE"), again.end());
  EXPECT_EQ(windows.idleWindowCount(), 0u);
  controller.dismiss();
  runEventsFor(500ms);
}

xcb_atom_t internAtom(xcb_connection_t* c, const char* name) {
  auto* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
  const xcb_atom_t a = r ? r->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
  std::free(r);
  return a;
}

TEST(ActiveWindowUnderX11, FollowsTheActiveWindowAsTheWindowManagerChangesIt) {
  if (std::getenv(kChildMarker) == nullptr) {
    if (std::system("command -v xvfb-run >/dev/null 2>&1") != 0) GTEST_SKIP() << "xvfb-run is not installed";
    EXPECT_TRUE(passesUnderXvfb("ActiveWindowUnderX11.*")) << "the run under Xvfb failed";
    return;
  }
  // A window manager of our own: two windows with their processes, and the root's active window.
  xcb_connection_t* c = xcb_connect(nullptr, nullptr);
  ASSERT_EQ(xcb_connection_has_error(c), 0);
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
  const xcb_atom_t activeAtom = internAtom(c, "_NET_ACTIVE_WINDOW");
  const xcb_atom_t pidAtom = internAtom(c, "_NET_WM_PID");
  const auto makeWindow = [&](uint32_t pid) {
    const xcb_window_t w = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, w, root, 0, 0, 10, 10, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, pidAtom, XCB_ATOM_CARDINAL, 32, 1, &pid);
    return w;
  };
  const xcb_window_t editor = makeWindow(4242);
  const xcb_window_t game = makeWindow(4343);
  const auto activate = [&](xcb_window_t w) {
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, root, activeAtom, XCB_ATOM_WINDOW, 32, 1, &w);
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));  // the server has it
  };
  velmoria::platform::desktop::X11ActiveWindow active;
  EXPECT_EQ(active.activeWindowProcess(), std::nullopt);
  // Fewer questions than the ones it may answer from memory: each change must come through as news.
  const auto answerSoon = [&](pid_t wanted) {
    for (int i = 0; i < 10; ++i) {
      if (active.activeWindowProcess() == wanted) return true;
      std::this_thread::sleep_for(20ms);
    }
    return false;
  };
  activate(editor);
  EXPECT_TRUE(answerSoon(4242));
  activate(game);
  EXPECT_TRUE(answerSoon(4343));
  activate(editor);
  EXPECT_TRUE(answerSoon(4242));
  xcb_disconnect(c);
}

}  // namespace
