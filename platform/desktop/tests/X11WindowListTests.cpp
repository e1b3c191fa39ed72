// The top-level windows as an X server of the test's own tells them: which windows, what they name, and
// that a question with nothing changed since costs the server nothing.
#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include "platform/desktop/X11ActiveWindow.hpp"
#include "testsupport/Eventually.hpp"
#include "testsupport/PrivateDisplay.hpp"

namespace {

using velmoria::platform::TopLevelWindow;
using Windows = std::vector<TopLevelWindow>;

// The test acts as the apps (and, for the client list, as a window manager) on a connection of its own.
class Apps {
 public:
  Apps() : c_(xcb_connect(nullptr, nullptr)) {
    root_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
    pidAtom_ = atom("_NET_WM_PID");
  }
  ~Apps() { xcb_disconnect(c_); }
  xcb_window_t window(const std::string& instance, const std::string& className, uint32_t pid,
                      bool overrideRedirect = false) {
    const xcb_window_t w = xcb_generate_id(c_);
    const uint32_t values[] = {overrideRedirect ? 1u : 0u};
    xcb_create_window(c_, XCB_COPY_FROM_PARENT, w, root_, 0, 0, 10, 10, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      XCB_COPY_FROM_PARENT, XCB_CW_OVERRIDE_REDIRECT, values);
    if (!instance.empty()) setClass(w, instance, className);
    xcb_change_property(c_, XCB_PROP_MODE_REPLACE, w, pidAtom_, XCB_ATOM_CARDINAL, 32, 1, &pid);
    return w;
  }
  void setClass(xcb_window_t w, const std::string& instance, const std::string& className) {
    const std::string value = instance + '\0' + className + '\0';
    text(w, XCB_ATOM_WM_CLASS, value);
  }
  void text(xcb_window_t w, xcb_atom_t property, const std::string& value) {
    xcb_change_property(c_, XCB_PROP_MODE_REPLACE, w, property, XCB_ATOM_STRING, 8, static_cast<uint32_t>(value.size()),
                        value.data());
  }
  void map(xcb_window_t w) { xcb_map_window(c_, w); }
  void unmap(xcb_window_t w) { xcb_unmap_window(c_, w); }
  void clientList(std::vector<xcb_window_t> windows) {
    xcb_change_property(c_, XCB_PROP_MODE_REPLACE, root_, atom("_NET_CLIENT_LIST"), XCB_ATOM_WINDOW, 32,
                        static_cast<uint32_t>(windows.size()), windows.data());
  }
  // The server has carried out all of the above.
  void sync() { std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr)); }

 private:
  xcb_atom_t atom(const char* name) {
    auto* r =
        xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = r != nullptr ? r->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
    std::free(r);
    return a;
  }
  xcb_connection_t* c_;
  xcb_window_t root_ = 0;
  xcb_atom_t pidAtom_ = XCB_ATOM_NONE;
};

// Asks until the answer is `wanted`; the server's events reach the source a moment after it did the change.
bool comesAs(velmoria::platform::desktop::X11ActiveWindow& source, const Windows& wanted) {
  return velmoria::testsupport::eventually([&] {
    const auto answer = source.topLevelWindowsIfChanged();
    return answer && *answer == wanted;
  });
}

TEST(X11WindowList, FollowsTheMappedTopLevelWindowsAndAsksNothingWhileNoneChanged) {
  velmoria::testsupport::PrivateDisplay display;
  if (!display.available()) GTEST_SKIP() << "no Xvfb";
  Apps apps;
  const xcb_window_t viewer = apps.window("viewer", "Viewer", 4242);
  const xcb_window_t later = apps.window("notes", "Notes", 4343);
  apps.map(viewer);
  apps.map(apps.window("menu", "Menu", 4444, /*overrideRedirect=*/true));
  apps.sync();

  velmoria::platform::desktop::X11ActiveWindow source;
  EXPECT_EQ(source.topLevelWindowsIfChanged(), Windows({{4242, "viewer", "Viewer"}}));
  const auto sent = source.bytesSent();
  for (int i = 0; i < 20; ++i) EXPECT_EQ(source.topLevelWindowsIfChanged(), std::nullopt);
  EXPECT_EQ(source.bytesSent(), sent) << "an unchanged window list cost questions to the server";

  apps.map(later);
  apps.sync();
  EXPECT_TRUE(comesAs(source, {{4242, "viewer", "Viewer"}, {4343, "notes", "Notes"}}));
  apps.setClass(viewer, "viewer", "Gallery");  // a class set after the window showed
  apps.sync();
  EXPECT_TRUE(comesAs(source, {{4242, "viewer", "Gallery"}, {4343, "notes", "Notes"}}));
  apps.unmap(viewer);
  apps.sync();
  EXPECT_TRUE(comesAs(source, {{4343, "notes", "Notes"}}));
  EXPECT_EQ(source.topLevelWindows(), Windows({{4343, "notes", "Notes"}})) << "a fresh read answers unchanged too";
}

TEST(X11WindowList, TakesTheWindowManagersClientListAndNoProcessOfAnotherHost) {
  velmoria::testsupport::PrivateDisplay display;
  if (!display.available()) GTEST_SKIP() << "no Xvfb";
  Apps apps;
  char host[256] = {};
  ::gethostname(host, sizeof host - 1);
  const xcb_window_t local = apps.window("viewer", "Viewer", 4242);
  apps.text(local, XCB_ATOM_WM_CLIENT_MACHINE, host);
  const xcb_window_t remote = apps.window("viewer", "Viewer", 4343);
  apps.text(remote, XCB_ATOM_WM_CLIENT_MACHINE, std::string(host) + ".elsewhere");
  apps.map(apps.window("frame", "Frame", 4444));  // mapped, but the window manager lists its clients
  apps.clientList({remote, local});
  apps.sync();

  velmoria::platform::desktop::X11ActiveWindow source;
  EXPECT_EQ(source.topLevelWindowsIfChanged(), Windows({{0, "viewer", "Viewer"}, {4242, "viewer", "Viewer"}}));
  apps.clientList({local});
  apps.sync();
  EXPECT_TRUE(comesAs(source, {{4242, "viewer", "Viewer"}}));
}

}  // namespace
