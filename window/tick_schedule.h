#pragma once

#include <chrono>
#include <cstdint>

namespace slash {

// The timer's schedule: tick k is due at start + k x interval, so the time of
// a tick never depends on how long earlier ticks took. When the host falls
// more than a whole interval behind, the missed ticks are dropped and the
// next tick fired is the latest one due: ticks never come back to back.
// Times are passed in, so the schedule runs on any clock.
class TickSchedule {
 public:
  using Duration = std::chrono::nanoseconds;

  TickSchedule(Duration start, Duration interval);

  // When the next tick is due.
  Duration NextDue() const { return start_ + interval_ * next_; }

  // Whether a tick is due at `now`. If so it is taken: the schedule moves on
  // to the next one, skipping any that are a whole interval or more overdue.
  bool TakeDue(Duration now);

  // How many ticks have been taken, and how many were dropped.
  std::int64_t taken() const { return taken_; }
  std::int64_t dropped() const { return dropped_; }

 private:
  Duration start_;
  Duration interval_;
  std::int64_t next_ = 1;
  std::int64_t taken_ = 0;
  std::int64_t dropped_ = 0;
};

}  // namespace slash
