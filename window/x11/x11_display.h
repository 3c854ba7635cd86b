#pragma once

#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>

#include "window/x11/x11_screen.h"

namespace slash {

// The atoms that no helper library interns for us.
struct ExtraAtoms {
  xcb_atom_t delete_window = XCB_NONE;
  xcb_atom_t motif_hints = XCB_NONE;
};

// The connection to the X server DISPLAY names and the facts of its
// screen, read once at set-up. Closing the connection is all the clean-up
// there is: the server destroys the window, its colour map and the
// graphics context with it.
class X11Display {
 public:
  // Connects and reads the screen's facts. Raises the no-display failure,
  // with the server's own reason when it refused, on a display that cannot
  // show the effect.
  X11Display();
  ~X11Display();
  X11Display(const X11Display&) = delete;
  X11Display& operator=(const X11Display&) = delete;

  xcb_connection_t* connection() const { return connection_; }
  int screen_number() const { return screen_number_; }
  const xcb_screen_t& screen() const { return *screen_; }
  const WindowVisual& visual() const { return visual_; }
  const PrimaryMonitor& primary() const { return primary_; }
  xcb_ewmh_connection_t& ewmh() { return ewmh_; }
  const ExtraAtoms& atoms() const { return atoms_; }
  // Whether a window manager runs (it announces itself on the root); read
  // only on a screen of several monitors, where it matters.
  bool manager_running() const { return manager_running_; }

  // Raises the display-lost failure once the connection has broken.
  void ThrowIfBroken() const;

 private:
  void Connect();
  void InternAtoms();
  void Release();

  xcb_connection_t* connection_ = nullptr;
  int screen_number_ = 0;
  xcb_screen_t* screen_ = nullptr;
  WindowVisual visual_;
  PrimaryMonitor primary_;
  xcb_ewmh_connection_t ewmh_{};
  bool ewmh_ready_ = false;
  ExtraAtoms atoms_;
  bool manager_running_ = false;
};

}  // namespace slash
