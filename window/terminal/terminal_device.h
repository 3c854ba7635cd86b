#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "runtime/screen_size.h"

namespace slash {

// The controlling terminal (/dev/tty), whatever the standard streams are
// redirected to: its size, the effect's modes on it, and the terminal as it
// was given back on every way out. While the effect shows, the alternate
// screen is on, the cursor hidden, auto-wrap, echo and line input off; a
// stop, end or crash signal first gives the terminal back (from the
// handler, with bytes and settings prepared beforehand), then does what it
// would have done: Ctrl+C ends with 130, SIGTERM 143, SIGHUP 129, SIGQUIT
// 131, a crash is a crash, and Ctrl+Z stops the program with the terminal
// given back and takes the effect's modes again when it continues.
class TerminalDevice {
 public:
  // Opens the terminal; raises the no-display failure when there is none.
  TerminalDevice();
  // Gives the terminal back, if the effect's modes are on.
  ~TerminalDevice();
  TerminalDevice(const TerminalDevice&) = delete;
  TerminalDevice& operator=(const TerminalDevice&) = delete;

  int fd() const { return fd_; }
  // Columns and rows, as the terminal reports them (80x24 where it cannot).
  ScreenSize CellSize() const;

  // Takes the effect's modes: writes `enter` and keeps `leave` for the
  // way back. Raises the no-display failure when the terminal refuses.
  void Enter(const std::string& enter, const std::string& leave);
  // Writes what the terminal takes without waiting; the count written.
  // Raises the display-lost failure when the terminal is gone.
  std::size_t WriteSome(std::string_view bytes);
  // Reads and drops what was typed; raises when the terminal hung up.
  void DiscardInput();

  // Whether the terminal was resized, or the program continued after a
  // stop (the screen was given back and is to be sent again), since the
  // last call.
  static bool TakeResized();
  static bool TakeContinued();

 private:
  int fd_ = -1;
};

// Whether the process has a controlling terminal that can be opened.
bool TerminalAvailable();

}  // namespace slash
