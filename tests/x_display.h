#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "process_runner.h"

namespace slash::testing {

// A screenshot as 0x00BBGGRR words, row by row.
struct Screenshot {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;

  std::uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

// An Xvfb of the test's own, on a display number the server picks, with an
// optional EWMH window manager (openbox) and a panel (tint2) on it.
class XvfbDisplay {
 public:
  XvfbDisplay(int width, int height, bool with_window_manager);
  ~XvfbDisplay();

  bool ok() const { return !name_.empty(); }
  const std::string& name() const { return name_; }  // ":N"
  Environment env() const { return {"DISPLAY=" + name_, "WAYLAND_DISPLAY"}; }

  // The whole screen, or nothing if the capture failed.
  bool Capture(Screenshot& shot) const;
  // What a command prints, run against this display.
  std::string Query(const std::vector<std::string>& argv) const;
  // Kills the server, as if the display went away.
  void Kill();

 private:
  bool WaitForWindowManager() const;

  std::unique_ptr<ChildProcess> server_;
  std::unique_ptr<ChildProcess> window_manager_;
  std::unique_ptr<ChildProcess> panel_;
  std::string name_;
};

// Decodes an X window dump of a 24- or 32-bit TrueColor screen.
bool DecodeXwd(const std::string& data, Screenshot& shot);

}  // namespace slash::testing
