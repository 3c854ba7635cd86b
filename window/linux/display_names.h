#pragma once

#include <string>

#include "runtime/environment.h"

namespace slash {

// The X display DISPLAY names, "" when it is unset.
std::string X11DisplayName(const EnvironmentLookup& environment = ProcessEnvironment);

// The Wayland display WAYLAND_DISPLAY names; the library's own default,
// "wayland-0", when it is unset.
std::string WaylandDisplayName(const EnvironmentLookup& environment = ProcessEnvironment);

}  // namespace slash
