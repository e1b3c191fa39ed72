// A stand-in for an app the user blocks: one plain window, until it is killed or its display goes away.
// Without a display it just waits, so it still runs as an app.
//   velmoria-e2e-dummy [--class INSTANCE CLASS] [--pid] [--child] [--ready]
// --class gives the window that WM_CLASS; --pid names the dummy's process and host on the window as
// toolkits do; --child starts a child process that waits too; --ready writes "ready" (and the child's
// pid) once the server has the window mapped.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <xcb/xcb.h>

namespace {

void setText(xcb_connection_t* c, xcb_window_t w, xcb_atom_t property, const std::string& value) {
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, property, XCB_ATOM_STRING, 8, static_cast<uint32_t>(value.size()),
                      value.data());
}

// Waits until the server has carried out every request sent so far.
void sync(xcb_connection_t* c) { std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr)); }

}  // namespace

int main(int argc, char** argv) {
  std::string wmClass;
  bool pid = false, child = false, ready = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--class" && i + 2 < argc) {
      wmClass = std::string(argv[i + 1]) + '\0' + argv[i + 2] + '\0';
      i += 2;
    } else if (a == "--pid") {
      pid = true;
    } else if (a == "--child") {
      child = true;
    } else if (a == "--ready") {
      ready = true;
    } else {
      std::fprintf(stderr, "velmoria-e2e-dummy: unknown argument %s\n", argv[i]);
      return 64;
    }
  }
  pid_t childPid = 0;
  if (child && (childPid = ::fork()) == 0) {
    for (;;) ::pause();
  }
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(connection)) {
    for (;;) ::pause();
  }
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
  const xcb_window_t window = xcb_generate_id(connection);
  const uint32_t values[] = {0xE8743Bu, XCB_EVENT_MASK_EXPOSURE};
  xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, 40, 40, 360, 240, 0,
                    XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
  setText(connection, window, XCB_ATOM_WM_NAME, "velmoria e2e dummy");
  if (pid) {
    const char* name = "_NET_WM_PID";
    auto* atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const uint32_t self = static_cast<uint32_t>(::getpid());
    if (atom != nullptr) {
      xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, atom->atom, XCB_ATOM_CARDINAL, 32, 1, &self);
    }
    std::free(atom);
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    setText(connection, window, XCB_ATOM_WM_CLIENT_MACHINE, host);
  }
  if (!wmClass.empty()) setText(connection, window, XCB_ATOM_WM_CLASS, wmClass);
  xcb_map_window(connection, window);
  // Twice: by the second answer the server has also sent every other client the events of the map.
  sync(connection);
  sync(connection);
  if (ready) {
    childPid != 0 ? std::printf("ready %d\n", static_cast<int>(childPid)) : std::printf("ready\n");
    std::fflush(stdout);
  }
  while (xcb_generic_event_t* event = xcb_wait_for_event(connection)) std::free(event);
  xcb_disconnect(connection);
  return 0;
}
