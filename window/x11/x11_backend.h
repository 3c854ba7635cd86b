#pragma once

#include <memory>

#include "window/window_backend.h"

namespace slash {

// The back end on an X server (DISPLAY, XWayland included), over xcb. The
// server does all the drawing: the window's background pixel paints it black
// when it is mapped, each placed line is one line request, and the flood sets
// the background and clears the window. The client holds no frame, so
// start-up, memory and CPU do not grow with the screen. It waits in poll()
// on the connection and a timerfd armed at each tick's absolute due time.
//
// Raises the no-display failure when the display cannot be opened or its
// screen cannot show the effect's colours exactly, and the display-lost
// failure when the connection breaks at any later moment.
std::unique_ptr<WindowBackend> OpenX11Backend();

}  // namespace slash
