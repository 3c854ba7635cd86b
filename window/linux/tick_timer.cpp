#include "window/linux/tick_timer.h"

#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "runtime/runtime_error.h"
#include "window/linux/monotonic_time.h"

namespace slash {

TickTimer::TickTimer() : fd_(timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK)) {
  if (fd_ < 0) {
    throw RuntimeError::HostFailure(
        std::string("cannot create the tick timer: ") + std::strerror(errno), kStatusNoDisplay);
  }
}

TickTimer::~TickTimer() {
  close(fd_);
}

void TickTimer::Arm(std::chrono::steady_clock::time_point due) {
  itimerspec value{};
  value.it_value = MonotonicTimespec(due);
  // An all-zero value would disarm the timer instead of firing it.
  if (value.it_value.tv_sec == 0 && value.it_value.tv_nsec == 0) value.it_value.tv_nsec = 1;
  // A timer that was never armed would leave the wait without a time-out.
  if (timerfd_settime(fd_, TFD_TIMER_ABSTIME, &value, nullptr) != 0) {
    throw RuntimeError(RuntimeErrorKind::kPropertyFailure,
                       std::string("cannot arm the tick timer: ") + std::strerror(errno));
  }
}

void TickTimer::Clear() {
  std::uint64_t expirations = 0;
  (void)!read(fd_, &expirations, sizeof expirations);
}

}  // namespace slash
