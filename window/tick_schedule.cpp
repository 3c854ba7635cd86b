#include "window/tick_schedule.h"

namespace slash {

TickSchedule::TickSchedule(Duration start, Duration interval)
    : interval_(interval), next_due_(start + interval) {}

bool TickSchedule::TakeDue(Duration now) {
  if (now < next_due_) return false;
  if (now - next_due_ > StallTolerance(interval_)) {
    next_due_ = now + interval_;
  } else {
    next_due_ += interval_;
  }
  return true;
}

}  // namespace slash
