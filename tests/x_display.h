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
  // Xorg with two 960x600 monitors side by side, the right one primary, so
  // that the primary monitor does not start at (0, 0). Needs root.
  struct TwoMonitors {};
  TestDisplay(TwoMonitors, bool with_window_manager);

  // `depth` is the screen's bits per pixel: 16, 24 or 30. A second screen,
  // when asked for, is 320x200 and named ":N.1".
  TestDisplay(int width, int height, bool with_window_manager, int depth = 24,
              bool second_screen = false);
  ~TestDisplay();

  bool ok() const { return !name_.empty(); }
  const std::string& name() const { return name_; }  // ":N"
  Environment env() const { return {"DISPLAY=" + name_, "WAYLAND_DISPLAY"}; }

  // What a command prints, run against this display.
  std::string Query(const std::vector<std::string>& argv) const;
  // Kills the server, as if the display went away.
  void Kill();
  // Stops or continues the server, as if it hung.
  void Pause(bool paused);

 private:
  // Reads the display number the server writes to `fd`, then sets up the
  // root and the window manager.
  void Ready(int fd, bool with_window_manager);
  bool WaitForWindowManager() const;
  // Ends the server with SIGTERM and removes whatever socket or lock it left.
  void Stop();

  std::unique_ptr<ChildProcess> server_;
  std::unique_ptr<ChildProcess> window_manager_;
  std::unique_ptr<ChildProcess> panel_;
  std::string name_;
  std::string config_dir_;  // Xorg's configuration and log
};

}  // namespace slash::testing
