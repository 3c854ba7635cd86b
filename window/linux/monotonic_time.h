#pragma once

#include <time.h>

#include <chrono>

namespace slash {

// A steady_clock time as a CLOCK_MONOTONIC timespec, which is the clock
// steady_clock reads on Linux: for absolute sleeps and timers.
inline timespec MonotonicTimespec(std::chrono::steady_clock::time_point at) {
  const auto since_epoch = at.time_since_epoch();
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since_epoch);
  timespec result{};
  result.tv_sec = static_cast<time_t>(seconds.count());
  result.tv_nsec = static_cast<long>((since_epoch - seconds).count());
  return result;
}

}  // namespace slash
