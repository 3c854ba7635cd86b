#include "window/tick_schedule.h"

namespace slash {

TickSchedule::TickSchedule(Duration start, Duration interval)
    : start_(start), interval_(interval) {}

bool TickSchedule::TakeDue(Duration now) {
  if (now < NextDue()) return false;
  // The latest tick whose time has come; those before it are dropped.
  const std::int64_t latest = (now - start_) / interval_;
  dropped_ += latest - next_;
  next_ = latest + 1;
  ++taken_;
  return true;
}

}  // namespace slash
