#pragma once

#include <functional>
#include <memory>
#include <string>

#include "window/window_backend.h"

namespace slash {

enum class BackendKind { kX11, kSdl };

// The back end for a session, from its environment (an empty variable
// counts as unset): SLASH_BACKEND=x11|sdl when given; else the X server
// whenever DISPLAY is set (Wayland desktops included, through XWayland);
// else SDL when WAYLAND_DISPLAY or SDL_VIDEODRIVER names a display. With
// none of these it raises the no-display failure, so the effect never runs
// where nobody sees it.
using EnvironmentLookup = std::function<std::string(const char* name)>;
BackendKind ChooseBackend(const EnvironmentLookup& environment);

// The process environment, "" for an unset variable.
std::string ProcessEnvironment(const char* name);

// Opens the chosen back end. SDL lives in a module that is loaded only here,
// so a run on the X server maps no SDL library.
std::unique_ptr<WindowBackend> OpenBackend(BackendKind kind);

}  // namespace slash
