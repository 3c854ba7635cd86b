#pragma once

#include <xcb/xcb.h>

#include "window/geometry.h"
#include "window/x11/x11_display.h"

namespace slash {

// What the window asks of the window manager, as properties before it is
// mapped: full screen on the primary monitor, above panels, in no task bar
// or pager, no decorations, its own position and size, the focus when
// given, and a close by WM_DELETE_WINDOW.
void SetWindowManagerProperties(X11Display& display, xcb_window_t window, const PixelRect& rect);

// The same, asked again once the window is mapped (client messages to the
// root), and the activation that puts it in front of panels. `server_time`
// is the server's time from one of our own property changes.
void AskForFullScreenAndFocus(X11Display& display, xcb_window_t window,
                              xcb_timestamp_t server_time);

// A cursor whose mask is empty: a screen effect shows no pointer. The
// caller frees it once a window holds it.
xcb_cursor_t InvisibleCursor(const X11Display& display);

}  // namespace slash
