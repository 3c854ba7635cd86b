#pragma once

#include <chrono>

namespace slash {

// A timer on the monotonic clock whose descriptor a back end polls beside
// its display's: armed at an absolute due time, so that waiting never adds
// up drift.
class TickTimer {
 public:
  // Raises the no-display failure when the system gives no timer.
  TickTimer();
  ~TickTimer();
  TickTimer(const TickTimer&) = delete;
  TickTimer& operator=(const TickTimer&) = delete;

  int fd() const { return fd_; }
  void Arm(std::chrono::steady_clock::time_point due);
  // Takes the expiry the descriptor signals, so that it polls quiet again.
  void Clear();

 private:
  int fd_ = -1;
};

}  // namespace slash
