// A stand-in for an app the user blocks: one plain window, until it is killed or its display goes away.
// Without a display it just waits, so it still runs as an app.
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include <xcb/xcb.h>

int main() {
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(connection)) {
    for (;;) ::pause();
  }
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
  const xcb_window_t window = xcb_generate_id(connection);
  const uint32_t values[] = {0xE8743Bu, XCB_EVENT_MASK_EXPOSURE};
  xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, 40, 40, 360, 240, 0,
                    XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
  const char* title = "velmoria e2e dummy";
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                      static_cast<uint32_t>(std::strlen(title)), title);
  xcb_map_window(connection, window);
  xcb_flush(connection);
  while (xcb_generic_event_t* event = xcb_wait_for_event(connection)) std::free(event);
  xcb_disconnect(connection);
  return 0;
}
