#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "process_runner.h"

namespace slash::testing {

// An X server of the test's own, on a display number the server picks, with
// an optional EWMH window manager (openbox) and a panel (tint2) on it: an
// Xvfb, or an Xorg with the dummy driver and two monitors.
class TestDisplay {
 public:
  // What runs on the display besides the server.
  enum class Desktop {
    kBare,          // nothing
    kOpenbox,       // openbox with a tint2 panel along the bottom
    kOpenboxPicom,  // the same under picom with its sample configuration
    kIcewm,         // icewm with its own task bar
    kMate,          // marco and mate-panel, on a session bus of their own
    kKwin,          // kwin_x11 alone, compositing with OpenGL, on a session bus
    kMutter,        // mutter alone, compositing, on a session bus
  };

  // Xorg with two 960x600 monitors side by side, the right one primary, so
  // that the primary monitor does not start at (0, 0). Needs root.
  struct TwoMonitors {};
  TestDisplay(TwoMonitors, bool with_window_manager);
  TestDisplay(TwoMonitors, Desktop desktop);

  // `depth` is the screen's bits per pixel: 16, 24 or 30. A second screen,
  // when asked for, is 320x200 and named ":N.1".
  // Extra server options may pick the root visual's class ("-cc", "3").
  TestDisplay(int width, int height, bool with_window_manager, int depth = 24,
              bool second_screen = false, const std::vector<std::string>& server_options = {});
  // An Xvfb with extra server options (a visual class, say) and a desktop.
  TestDisplay(int width, int height, Desktop desktop,
              const std::vector<std::string>& server_options = {});
  ~TestDisplay();

  bool ok() const { return !name_.empty(); }
  const std::string& name() const { return name_; }  // ":N"
  Environment env() const { return {"DISPLAY=" + name_, "WAYLAND_DISPLAY"}; }

  // What a command prints, run against this display.
  std::string Query(const std::vector<std::string>& argv) const;
  // Starts a terminal and gives it the focus, as when a person starts slash
  // from one; false if it never became the active window.
  bool FocusTerminal();
  // Kills the server, as if the display went away.
  void Kill();
  // Stops or continues the server, as if it hung.
  void Pause(bool paused);

 private:
  // Reads the display number the server writes to `fd`, then sets up the
  // root and the window manager.
  int StartServer(std::vector<std::string> argv);
  void Ready(int fd, Desktop desktop);
  bool WaitForWindowManager() const;
  bool StartDesktop(Desktop desktop);
  // Waits until a window of this class is on the display; its id, or "".
  std::string WaitForWindow(const std::string& window_class) const;
  // Ends the server with SIGTERM and removes whatever socket or lock it left.
  void Stop();

  std::unique_ptr<ChildProcess> server_;
  std::unique_ptr<ChildProcess> window_manager_;
  std::unique_ptr<ChildProcess> panel_;
  std::unique_ptr<ChildProcess> compositor_;
  std::unique_ptr<ChildProcess> terminal_;
  std::string name_;
  std::string config_dir_;  // Xorg's or picom's configuration, and logs
};

}  // namespace slash::testing
