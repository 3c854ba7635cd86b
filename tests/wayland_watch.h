#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "screen_watch.h"

namespace slash::testing {

// One picture an output showed, stamped when it reached the watcher.
struct OutputFrame {
  std::chrono::steady_clock::time_point at;
  Screenshot shot;  // pixels as 0x00BBGGRR
};

// Watches every output of a wlroots compositor from outside, through its
// screen-copy protocol: the picture each output shows when watching
// starts, then every picture it shows after (a copy with damage waits for
// the next change), until stopped.
class WaylandWatch {
 public:
  WaylandWatch(const std::string& runtime_dir, const std::string& display);
  ~WaylandWatch();
  WaylandWatch(const WaylandWatch&) = delete;
  WaylandWatch& operator=(const WaylandWatch&) = delete;

  // Takes every output's current picture and asks for the next one, so
  // that nothing drawn from now on is missed; then watches on a thread of
  // its own. False when the compositor cannot be watched.
  bool Start();
  // Stops watching and returns what each output showed, in the order the
  // compositor announced the outputs; a picture the same as the one before
  // it is kept once.
  std::vector<std::vector<OutputFrame>> Stop();

  struct State;

 private:
  std::unique_ptr<State> state_;
  std::thread thread_;
  std::atomic<bool> stopping_{false};
};

}  // namespace slash::testing
