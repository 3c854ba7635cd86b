#pragma once

#include <string>

#include "runtime/environment.h"

namespace slash {

// The socket a Wayland display name stands for: the name itself when it is
// a path, else the name inside XDG_RUNTIME_DIR ("" when that is unset).
std::string WaylandSocketPath(const std::string& display, const EnvironmentLookup& environment);

// Whether a compositor accepts connections on the socket WAYLAND_DISPLAY
// names: a name left over from a compositor that has gone is not a display.
bool WaylandDisplayReachable(const EnvironmentLookup& environment);

}  // namespace slash
