#include "window/x11/x11_window_manager.h"

#include <unistd.h>
#include <xcb/xcb_ewmh.h>
#include <xcb/xcb_icccm.h>

#include <cstring>

namespace slash {
namespace {

constexpr char kName[] = "slash";
// WM_CLASS: the instance and class names, each ending in a NUL.
constexpr char kClass[] = "slash\0slash";

}  // namespace

void SetWindowManagerProperties(X11Display& display, xcb_window_t window, const PixelRect& rect) {
  xcb_connection_t* const connection = display.connection();
  xcb_ewmh_connection_t& ewmh = display.ewmh();
  // Full-screen on the monitor it is placed on, over panels and docks, and
  // listed in no task bar or pager. A manager reads these when it maps the
  // window; some replace them, so they are asked for again once it is mapped.
  //
  // With several monitors, some managers put a window that maps full
  // screen on whichever monitor they like: there the window maps at the
  // primary's place, names the primary as the monitor to fill, and asks
  // for full screen once mapped.
  const int primary = display.primary().index;
  const bool monitors = primary >= 0;
  xcb_atom_t states[] = {ewmh._NET_WM_STATE_ABOVE, ewmh._NET_WM_STATE_SKIP_TASKBAR,
                         ewmh._NET_WM_STATE_SKIP_PAGER, ewmh._NET_WM_STATE_FULLSCREEN};
  xcb_ewmh_set_wm_state(&ewmh, window, std::size(states) - (monitors ? 1 : 0), states);
  if (monitors) {
    const auto i = static_cast<std::uint32_t>(primary);
    xcb_ewmh_set_wm_fullscreen_monitors(&ewmh, window, i, i, i, i);
  }
  xcb_ewmh_set_wm_name(&ewmh, window, sizeof kName - 1, kName);
  xcb_icccm_set_wm_name(connection, window, XCB_ATOM_STRING, 8, sizeof kName - 1, kName);
  xcb_icccm_set_wm_class(connection, window, sizeof kClass, kClass);
  xcb_ewmh_set_wm_pid(&ewmh, window, static_cast<std::uint32_t>(getpid()));
  char host[256] = "";
  if (gethostname(host, sizeof host - 1) == 0) {
    xcb_icccm_set_wm_client_machine(connection, window, XCB_ATOM_STRING, 8,
                                    static_cast<std::uint32_t>(std::strlen(host)), host);
  }
  xcb_atom_t protocols[] = {display.atoms().delete_window};
  xcb_icccm_set_wm_protocols(connection, window, ewmh.WM_PROTOCOLS, 1, protocols);
  // The window takes the keyboard focus when the manager gives it, so that
  // it becomes the active window, shown in front of panels.
  xcb_icccm_wm_hints_t hints{};
  xcb_icccm_wm_hints_set_input(&hints, 1);
  xcb_icccm_wm_hints_set_normal(&hints);
  xcb_icccm_set_wm_hints(connection, window, &hints);
  // The position and size are the program's own, not for the manager to pick.
  xcb_size_hints_t size{};
  xcb_icccm_size_hints_set_position(&size, 1, rect.x, rect.y);
  xcb_icccm_size_hints_set_size(&size, 1, rect.width, rect.height);
  xcb_icccm_set_wm_normal_hints(connection, window, &size);
  // No decorations: flags = decorations given, decorations = none.
  const std::uint32_t motif[5] = {2, 0, 0, 0, 0};
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, display.atoms().motif_hints,
                      display.atoms().motif_hints, 32, 5, motif);
  // No request to bypass the compositor: kwin tears its compositor down
  // for such a window and, when the window goes, shows the bare root for up
  // to a second before the desktop comes back.
}

void AskForFullScreenAndFocus(X11Display& display, xcb_window_t window,
                              xcb_timestamp_t server_time) {
  xcb_ewmh_connection_t& ewmh = display.ewmh();
  const int screen = display.screen_number();
  const int primary = display.primary().index;
  // The protocol for a window that is already mapped: client messages to
  // the root. A manager that replaced the state it was mapped with (with
  // maximised states, say) makes it full-screen now; the activation makes it
  // the active window, which managers keep in front of panels.
  if (primary >= 0) {
    const auto i = static_cast<std::uint32_t>(primary);
    xcb_ewmh_request_change_wm_fullscreen_monitors(&ewmh, screen, window, i, i, i, i,
                                                   XCB_EWMH_CLIENT_SOURCE_TYPE_NORMAL);
  }
  xcb_ewmh_request_change_wm_state(&ewmh, screen, window, XCB_EWMH_WM_STATE_ADD,
                                   ewmh._NET_WM_STATE_FULLSCREEN, ewmh._NET_WM_STATE_ABOVE,
                                   XCB_EWMH_CLIENT_SOURCE_TYPE_NORMAL);
  xcb_ewmh_set_wm_user_time(&ewmh, window, server_time);
  xcb_ewmh_request_change_active_window(&ewmh, screen, window, XCB_EWMH_CLIENT_SOURCE_TYPE_NORMAL,
                                        server_time, XCB_NONE);
}

xcb_cursor_t InvisibleCursor(const X11Display& display) {
  xcb_connection_t* const connection = display.connection();
  // A new pixmap's contents are undefined, so it is cleared first.
  const xcb_pixmap_t pixmap = xcb_generate_id(connection);
  xcb_create_pixmap(connection, 1, pixmap, display.screen().root, 1, 1);
  const xcb_gcontext_t clear = xcb_generate_id(connection);
  const std::uint32_t zero = 0;
  xcb_create_gc(connection, clear, pixmap, XCB_GC_FOREGROUND, &zero);
  const xcb_rectangle_t whole{0, 0, 1, 1};
  xcb_poly_fill_rectangle(connection, pixmap, clear, 1, &whole);
  const xcb_cursor_t cursor = xcb_generate_id(connection);
  xcb_create_cursor(connection, cursor, pixmap, pixmap, 0, 0, 0, 0, 0, 0, 0, 0);
  xcb_free_gc(connection, clear);
  xcb_free_pixmap(connection, pixmap);
  return cursor;
}

}  // namespace slash
