#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "process_runner.h"

namespace slash::testing {

// An Xvfb of the test's own, on a display number the server picks, with an
// optional EWMH window manager (openbox) and a panel (tint2) on it.
class XvfbDisplay {
 public:
  // `depth` is the screen's bits per pixel: 16, 24 or 30. A second screen,
  // when asked for, is 320x200 and named ":N.1".
  XvfbDisplay(int width, int height, bool with_window_manager, int depth = 24,
              bool second_screen = false);
  ~XvfbDisplay();

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
  bool WaitForWindowManager() const;
  // Ends the server with SIGTERM and removes whatever socket or lock it left.
  void Stop();

  std::unique_ptr<ChildProcess> server_;
  std::unique_ptr<ChildProcess> window_manager_;
  std::unique_ptr<ChildProcess> panel_;
  std::string name_;
};

}  // namespace slash::testing
