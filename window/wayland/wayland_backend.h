#pragma once

#include <memory>

#include "window/window_backend.h"

namespace slash {

// Connects to the Wayland compositor WAYLAND_DISPLAY names and opens the
// back end that shows the window there as a full-screen toplevel. Raises
// the no-display failure when there is none to reach.
std::unique_ptr<WindowBackend> OpenWaylandBackend();

}  // namespace slash
