#pragma once

#include <cstdint>
#include <functional>

namespace slash {

// A clock reading in nanoseconds, from any origin.
using NanosecondClock = std::function<std::uint64_t()>;

// The system clock, in nanoseconds since the epoch.
std::uint64_t SystemClockNanoseconds();

// A random generator that is reseeded from a clock. A reseed mixes the clock
// reading into the current state instead of restarting from it, so two
// reseeds that read the same clock value (microseconds apart on a coarse
// clock) still lead to separate draws.
class ClockRandom {
 public:
  explicit ClockRandom(NanosecondClock clock = SystemClockNanoseconds);

  void Reseed();

  // The next value, 0 <= r < 1 in single precision. It is built from 24
  // random bits, so it is exact in a float and can never round up to 1.
  float Draw();

 private:
  std::uint64_t Next();

  NanosecondClock clock_;
  std::uint64_t state_;
};

}  // namespace slash
