#include "window/sdl/x11_watch.h"

#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xproto.h>
#include <unistd.h>

#include <cstdio>

namespace slash {
namespace {

// Xlib calls its handlers with no user data, so what they learn is kept here.
unsigned long g_watched_window = 0;
bool g_window_destroyed = false;
char g_failure[160] = "";
int g_lost_display_status = 1;

int OnXError(Display* /*display*/, XErrorEvent* error) {
  // A window that vanished: ours (destroyed by another client) or one that
  // SDL asked about on the way, such as a window manager's frame around ours.
  // Neither is a failure of the program; our own destruction also arrives
  // as an event.
  const bool gone = error->error_code == BadWindow || error->error_code == BadDrawable;
  if (gone) {
    if (error->resourceid == g_watched_window) g_window_destroyed = true;
  } else if (g_failure[0] == '\0') {
    std::snprintf(g_failure, sizeof g_failure, "X error %d on request %d",
                  static_cast<int>(error->error_code), static_cast<int>(error->request_code));
  }
  return 0;
}

// Xlib ends the process if this returns, so it ends it itself, with one line.
int OnXConnectionLost(Display* /*display*/) {
  static const char kMessage[] = "slash: lost the connection to the display\n";
  (void)!write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
  _exit(g_lost_display_status);
}

bool X11Handles(SDL_Window* window, Display*& display, ::Window& xwindow) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return false;
  display = info.info.x11.display;
  xwindow = info.info.x11.window;
  return true;
}

}  // namespace

bool RequestX11InitialFullscreen(SDL_Window* window) {
  Display* display = nullptr;
  ::Window xwindow = 0;
  if (!X11Handles(window, display, xwindow)) return false;
  const Atom state = XInternAtom(display, "_NET_WM_STATE", False);
  const Atom fullscreen = XInternAtom(display, "_NET_WM_STATE_FULLSCREEN", False);
  // Appended to the states SDL set at creation (skip task bar and pager).
  XChangeProperty(display, xwindow, state, XA_ATOM, 32, PropModeAppend,
                  reinterpret_cast<const unsigned char*>(&fullscreen), 1);
  XFlush(display);
  return true;
}

void WatchX11Connection(SDL_Window* window, int lost_display_status) {
  Display* display = nullptr;
  ::Window xwindow = 0;
  if (!X11Handles(window, display, xwindow)) return;
  g_watched_window = xwindow;
  g_lost_display_status = lost_display_status;
  SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
  XSetErrorHandler(OnXError);
  XSetIOErrorHandler(OnXConnectionLost);
}

bool X11WindowDestroyed() {
  return g_window_destroyed;
}

void NoteWindowManagerEvent(const SDL_SysWMmsg& message) {
  if (message.subsystem != SDL_SYSWM_X11) return;
  const XEvent& event = message.msg.x11.event;
  if (event.type == DestroyNotify && event.xdestroywindow.window == g_watched_window) {
    g_window_destroyed = true;
  }
}

std::string X11Failure() {
  return g_failure;
}

}  // namespace slash
