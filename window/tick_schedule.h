#pragma once

#include <chrono>

namespace slash {

// The timer's schedule: tick k is due at start + k x interval, so the time of
// a tick never depends on how long earlier ticks took. A tick taken more than
// a stall's tolerance after its due time (the process was stopped, the
// machine suspended) re-phases the grid: the overdue tick is taken at once
// and the next one comes a whole interval after it, never sooner, so two
// lines never land a few milliseconds apart. Times are passed in, so the
// schedule runs on any clock.
class TickSchedule {
 public:
  using Duration = std::chrono::nanoseconds;

  // Lateness up to this keeps the grid; more is a stall.
  static Duration StallTolerance(Duration interval) { return interval / 4; }

  TickSchedule(Duration start, Duration interval);

  // When the next tick is due.
  Duration NextDue() const { return next_due_; }

  // Whether a tick is due at `now`. If so it is taken and the schedule moves
  // on to the next one.
  bool TakeDue(Duration now);

 private:
  Duration interval_;
  Duration next_due_;
};

}  // namespace slash
