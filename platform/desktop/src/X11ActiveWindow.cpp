#include "platform/desktop/X11ActiveWindow.hpp"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <set>
#include <string>

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

// A reply owned until the end of the scope; errors are taken and dropped (a window may be gone already).
template <class Reply>
struct Owned {
  Reply* reply = nullptr;
  Owned(Reply* r, xcb_generic_error_t* error) : reply(r) { std::free(error); }
  ~Owned() { std::free(reply); }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
};

Owned<xcb_get_property_reply_t> propertyReply(xcb_connection_t* c, xcb_get_property_cookie_t cookie) {
  xcb_generic_error_t* error = nullptr;
  xcb_get_property_reply_t* reply = xcb_get_property_reply(c, cookie, &error);
  return {reply, error};
}

std::optional<uint32_t> cardinalIn(const xcb_get_property_reply_t* reply) {
  if (reply == nullptr || reply->format != 32 || xcb_get_property_value_length(reply) < 4) return std::nullopt;
  uint32_t v = 0;
  std::memcpy(&v, xcb_get_property_value(reply), sizeof v);
  return v;
}

std::string textIn(const xcb_get_property_reply_t* reply) {
  if (reply == nullptr || reply->format != 8) return {};
  return {static_cast<const char*>(xcb_get_property_value(reply)),
          static_cast<std::size_t>(xcb_get_property_value_length(reply))};
}

std::optional<uint32_t> cardinalProperty(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property,
                                         xcb_atom_t type) {
  const auto reply = propertyReply(c, xcb_get_property(c, 0, window, property, type, 0, 1));
  return cardinalIn(reply.reply);
}

}  // namespace

struct X11ActiveWindow::Connection {
  xcb_connection_t* c = nullptr;
  xcb_window_t root = 0;
  xcb_atom_t activeWindow = XCB_ATOM_NONE;
  xcb_atom_t wmPid = XCB_ATOM_NONE;
  xcb_atom_t clientList = XCB_ATOM_NONE;
  std::string host;
  // What the events said since they were last looked at.
  bool activeChanged = false;
  bool listChanged = true;
  std::set<xcb_window_t> changedWindows;
  // The top-level windows in list order, and what was read of each.
  std::vector<xcb_window_t> listed;
  std::map<xcb_window_t, TopLevelWindow> read;
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
  x->clientList = intern(x->c, "_NET_CLIENT_LIST");
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) == 0) x->host = host;
  // Told when the root window's properties change and when its children come and go, so unchanged
  // windows cost no question.
  const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
  xcb_change_window_attributes(x->c, x->root, XCB_CW_EVENT_MASK, &events);
  xcb_flush(x->c);
  x_ = std::move(x);
}

X11ActiveWindow::~X11ActiveWindow() = default;

std::uint64_t X11ActiveWindow::bytesSent() const { return x_ ? xcb_total_written(x_->c) : 0; }

void X11ActiveWindow::takeEvents() {
  const auto listedWindow = [this](xcb_window_t w) {
    return std::find(x_->listed.begin(), x_->listed.end(), w) != x_->listed.end();
  };
  while (xcb_generic_event_t* event = xcb_poll_for_event(x_->c)) {
    switch (event->response_type & 0x7f) {
      case XCB_PROPERTY_NOTIFY: {
        const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event);
        if (notify->window == x_->root) {
          x_->activeChanged = x_->activeChanged || notify->atom == x_->activeWindow;
          x_->listChanged = x_->listChanged || notify->atom == x_->clientList;
        } else if ((notify->atom == XCB_ATOM_WM_CLASS || notify->atom == x_->wmPid ||
                    notify->atom == XCB_ATOM_WM_CLIENT_MACHINE) &&
                   x_->read.count(notify->window) != 0) {
          x_->changedWindows.insert(notify->window);
        }
        break;
      }
      // Menus and tooltips (override-redirect) come and go all the time and are no top-level windows.
      case XCB_MAP_NOTIFY:
        x_->listChanged =
            x_->listChanged || reinterpret_cast<const xcb_map_notify_event_t*>(event)->override_redirect == 0;
        break;
      case XCB_UNMAP_NOTIFY:
        x_->listChanged =
            x_->listChanged || listedWindow(reinterpret_cast<const xcb_unmap_notify_event_t*>(event)->window);
        break;
      case XCB_DESTROY_NOTIFY: {
        // The server hands a gone client's window ids to the next client: the same id may be another
        // window by the time the list is read again.
        const xcb_window_t gone = reinterpret_cast<const xcb_destroy_notify_event_t*>(event)->window;
        const bool known = x_->read.erase(gone) != 0;
        x_->changedWindows.erase(gone);
        x_->listChanged = x_->listChanged || known || listedWindow(gone);
        break;
      }
      case XCB_REPARENT_NOTIFY:
        x_->listChanged =
            x_->listChanged || listedWindow(reinterpret_cast<const xcb_reparent_notify_event_t*>(event)->window);
        break;
      default:
        break;  // errors for windows gone before a question about them reached the server, and the rest
    }
    std::free(event);
  }
}

std::optional<pid_t> X11ActiveWindow::activeWindowProcess() {
  if (!x_ || xcb_connection_has_error(x_->c) != 0) return std::nullopt;
  takeEvents();
  const bool changed = !answered_ || x_->activeChanged;
  x_->activeChanged = false;
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

std::optional<std::vector<TopLevelWindow>> X11ActiveWindow::topLevelWindowsIfChanged() {
  if (!x_ || xcb_connection_has_error(x_->c) != 0) return std::nullopt;
  takeEvents();
  if (lastWindows_ && !x_->listChanged && x_->changedWindows.empty()) return std::nullopt;
  auto windows = readWindows(false);
  if (lastWindows_ && windows == *lastWindows_) return std::nullopt;
  lastWindows_ = windows;
  return windows;
}

std::optional<std::vector<TopLevelWindow>> X11ActiveWindow::topLevelWindows() {
  if (!x_ || xcb_connection_has_error(x_->c) != 0) return std::nullopt;
  takeEvents();
  lastWindows_ = readWindows(true);
  return lastWindows_;
}

std::vector<TopLevelWindow> X11ActiveWindow::readWindows(bool fresh) {
  xcb_connection_t* c = x_->c;
  if (x_->listChanged || fresh) {
    x_->listChanged = false;
    std::vector<xcb_window_t> listed;
    const auto list = propertyReply(c, xcb_get_property(c, 0, x_->root, x_->clientList, XCB_ATOM_WINDOW, 0, 16384));
    if (list.reply != nullptr && list.reply->type == XCB_ATOM_WINDOW && list.reply->format == 32) {
      const auto* ids = static_cast<const xcb_window_t*>(xcb_get_property_value(list.reply));
      listed.assign(ids, ids + xcb_get_property_value_length(list.reply) / 4);
    } else {
      xcb_generic_error_t* error = nullptr;
      // Braces: the reply is read before its error is taken, which parentheses would leave unordered.
      const Owned tree{xcb_query_tree_reply(c, xcb_query_tree(c, x_->root), &error), error};
      if (tree.reply != nullptr) {
        const xcb_window_t* children = xcb_query_tree_children(tree.reply);
        const int count = xcb_query_tree_children_length(tree.reply);
        std::vector<xcb_get_window_attributes_cookie_t> cookies;
        for (int i = 0; i < count; ++i) cookies.push_back(xcb_get_window_attributes(c, children[i]));
        for (int i = 0; i < count; ++i) {
          const Owned attributes{xcb_get_window_attributes_reply(c, cookies[static_cast<std::size_t>(i)], &error),
                                 error};
          if (attributes.reply != nullptr && attributes.reply->map_state != XCB_MAP_STATE_UNMAPPED &&
              attributes.reply->override_redirect == 0) {
            listed.push_back(children[i]);
          }
        }
      }
    }
    x_->listed = std::move(listed);
  }

  // Told of changes to a window's properties before they are read, so a WM_CLASS set after its window was
  // mapped comes as news, and of its end (under a window manager it is no child of the root window).
  std::vector<xcb_window_t> toRead;
  for (const xcb_window_t w : x_->listed) {
    const bool known = x_->read.count(w) != 0;
    if (!known) {
      const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
      xcb_change_window_attributes(c, w, XCB_CW_EVENT_MASK, &events);
    }
    if (fresh || !known || x_->changedWindows.count(w) != 0) toRead.push_back(w);
  }
  x_->changedWindows.clear();
  struct Questions {
    xcb_get_property_cookie_t wmClass, pid, machine;
  };
  std::vector<Questions> questions;
  for (const xcb_window_t w : toRead) {
    questions.push_back({xcb_get_property(c, 0, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 256),
                         xcb_get_property(c, 0, w, x_->wmPid, XCB_ATOM_CARDINAL, 0, 1),
                         xcb_get_property(c, 0, w, XCB_ATOM_WM_CLIENT_MACHINE, XCB_ATOM_ANY, 0, 64)});
  }
  std::map<xcb_window_t, TopLevelWindow> read;
  for (std::size_t i = 0; i < toRead.size(); ++i) {
    TopLevelWindow window;
    const std::string wmClass = textIn(propertyReply(c, questions[i].wmClass).reply);
    const auto split = wmClass.find('\0');
    window.instance = wmClass.substr(0, split);
    if (split != std::string::npos)
      window.className = wmClass.substr(split + 1, wmClass.find('\0', split + 1) - split - 1);
    const auto pid = cardinalIn(propertyReply(c, questions[i].pid).reply);
    // A pid of another machine's client names none of this one's processes.
    std::string machine = textIn(propertyReply(c, questions[i].machine).reply);
    while (!machine.empty() && machine.back() == '\0') machine.pop_back();
    if (pid && *pid <= static_cast<uint32_t>(std::numeric_limits<pid_t>::max()) &&
        (machine.empty() || machine == x_->host)) {
      window.pid = static_cast<pid_t>(*pid);
    }
    read.emplace(toRead[i], std::move(window));
  }
  xcb_flush(c);
  std::vector<TopLevelWindow> windows;
  for (const xcb_window_t w : x_->listed) {
    auto it = read.find(w);
    if (it == read.end()) {
      const auto before = x_->read.find(w);
      if (before == x_->read.end()) {
        x_->changedWindows.insert(w);  // not read: left for the next question
        continue;
      }
      it = read.emplace(w, before->second).first;
    }
    windows.push_back(it->second);
  }
  x_->read = std::move(read);
  return windows;
}

}  // namespace velmoria::platform::desktop
