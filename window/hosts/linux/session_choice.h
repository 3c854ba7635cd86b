#pragma once

#include <functional>
#include <string>

#include "runtime/environment.h"
#include "window/hosts/backend_choice.h"

namespace slash {

// The back end for a session, from its environment (an empty variable
// counts as unset): SLASH_BACKEND=wayland|x11 when given; else the Wayland
// compositor when WAYLAND_DISPLAY names one that `wayland_reachable` finds
// accepting connections; else the X server when DISPLAY is set; else
// Wayland when WAYLAND_DISPLAY is set at all, so that the failure names
// it; else the controlling terminal when `terminal_available` finds one
// (SLASH_BACKEND=terminal forces it). With none of these it raises the
// no-display failure, so the effect never runs where nobody sees it.
BackendKind ChooseBackend(const EnvironmentLookup& environment,
                          const std::function<bool()>& wayland_reachable,
                          const std::function<bool()>& terminal_available);

}  // namespace slash
