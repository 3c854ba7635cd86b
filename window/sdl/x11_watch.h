#pragma once

#include <SDL.h>
#include <SDL_syswm.h>

#include <string>

namespace slash {

// Watches the X connection under an SDL window. Xlib's own handlers print
// several lines and exit on any error; these instead tell a window that
// another client destroyed (which ends the run like a close) from a real
// failure, and turn a lost server into one line on stderr and a status.
// Does nothing when the window is not on X11.
void WatchX11Connection(SDL_Window* window, int lost_display_status);

// Adds the full-screen state to the initial state of a window that is not
// mapped yet, so that a window manager maps it full-screen, over panels and
// docks. Without a window manager the property is simply not read. Returns
// false when the window is not on X11 (the caller then asks SDL instead).
// SDL's own full-screen switch would wait up to 100 ms for a window manager
// on mapping and again on destruction; this costs one request.
bool RequestX11InitialFullscreen(SDL_Window* window);

// Whether another client destroyed the watched window. A destruction shows
// as a window-manager event (SDL_SYSWMEVENT, which the watch enables) or as
// an error on the next request that names the window.
bool X11WindowDestroyed();
void NoteWindowManagerEvent(const SDL_SysWMmsg& message);

// The first X error that was not the window's destruction, or "".
std::string X11Failure();

}  // namespace slash
