#pragma once

#include <chrono>

namespace slash {

class TickTimer;

// What ended a wait for the display.
struct DisplayWake {
  bool readable = false;  // something to read, or the connection hung up
  bool writable = false;  // room for what is queued
};

// The one wait of the POSIX back ends: until the display's socket `fd` has
// something to read (or room to write, when `want_write`), or `due` comes
// on `timer`, armed at that absolute time so that waits never add up
// drift. A signal ends it early with nothing seen; any other failure
// raises the display-lost failure.
DisplayWake WaitForDisplay(int fd, bool want_write, TickTimer& timer,
                           std::chrono::steady_clock::time_point due);

}  // namespace slash
