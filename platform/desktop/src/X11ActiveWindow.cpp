#include "platform/desktop/X11ActiveWindow.hpp"

#include <cstdlib>
#include <cstring>

#include <xcb/xcb.h>

namespace velmoria::platform::desktop {
namespace {

xcb_atom_t intern(xcb_connection_t* c, const char* name) {
  const auto cookie = xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name);
  xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, cookie, nullptr);
  if (reply == nullptr) return XCB_ATOM_NONE;
  const xcb_atom_t atom = reply->atom;
  std::free(reply);
  return atom;
}

std::optional<uint32_t> cardinalProperty(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property,
                                         xcb_atom_t type) {
  const auto cookie = xcb_get_property(c, 0, window, property, type, 0, 1);
  xcb_get_property_reply_t* reply = xcb_get_property_reply(c, cookie, nullptr);
  if (reply == nullptr) return std::nullopt;
  std::optional<uint32_t> value;
  if (reply->format == 32 && xcb_get_property_value_length(reply) >= 4) {
    uint32_t v = 0;
    std::memcpy(&v, xcb_get_property_value(reply), sizeof v);
    value = v;
  }
  std::free(reply);
  return value;
}

}  // namespace

struct X11ActiveWindow::Connection {
  xcb_connection_t* c = nullptr;
  xcb_window_t root = 0;
  xcb_atom_t activeWindow = XCB_ATOM_NONE;
  xcb_atom_t wmPid = XCB_ATOM_NONE;
  ~Connection() {
    if (c != nullptr) xcb_disconnect(c);
  }
};

X11ActiveWindow::X11ActiveWindow() {
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || *display == '\0') return;
  auto x = std::make_unique<Connection>();
  int screenNumber = 0;
  x->c = xcb_connect(nullptr, &screenNumber);
  if (x->c == nullptr || xcb_connection_has_error(x->c) != 0) return;
  auto it = xcb_setup_roots_iterator(xcb_get_setup(x->c));
  for (int i = 0; i < screenNumber && it.rem > 0; ++i) xcb_screen_next(&it);
  if (it.rem == 0) return;
  x->root = it.data->root;
  x->activeWindow = intern(x->c, "_NET_ACTIVE_WINDOW");
  x->wmPid = intern(x->c, "_NET_WM_PID");
  // Told when the root window's properties change, so an unchanged active window costs no question.
  const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
  xcb_change_window_attributes(x->c, x->root, XCB_CW_EVENT_MASK, &events);
  xcb_flush(x->c);
  x_ = std::move(x);
}

X11ActiveWindow::~X11ActiveWindow() = default;

std::optional<pid_t> X11ActiveWindow::activeWindowProcess() {
  if (!x_ || xcb_connection_has_error(x_->c) != 0) return std::nullopt;
  bool changed = !answered_;
  while (xcb_generic_event_t* event = xcb_poll_for_event(x_->c)) {
    if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY) {
      const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event);
      changed = changed || (notify->window == x_->root && notify->atom == x_->activeWindow);
    }
    std::free(event);
  }
  // Asked again now and then all the same, should a change have gone by unannounced.
  if (!changed && ++quietAnswers_ < 16) return lastPid_;
  answered_ = true;
  quietAnswers_ = 0;
  const auto window = cardinalProperty(x_->c, x_->root, x_->activeWindow, XCB_ATOM_WINDOW);
  if (!window || *window == 0) {
    lastWindow_ = 0;
    lastPid_.reset();
    return std::nullopt;
  }
  // A window keeps its process.
  if (*window == lastWindow_ && !changed) return lastPid_;
  const auto pid = cardinalProperty(x_->c, *window, x_->wmPid, XCB_ATOM_CARDINAL);
  lastWindow_ = *window;
  lastPid_ = pid && *pid != 0 ? std::optional<pid_t>(static_cast<pid_t>(*pid)) : std::nullopt;
  return lastPid_;
}

}  // namespace velmoria::platform::desktop
