#include "runtime/clock_random.h"

#include <chrono>

namespace slash {
namespace {

// One round of the SplitMix64 finaliser: a bijective 64-bit mix.
std::uint64_t Mix(std::uint64_t z) {
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

constexpr std::uint64_t kGoldenGamma = 0x9E3779B97F4A7C15ull;

}  // namespace

std::uint64_t SystemClockNanoseconds() {
  const auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(since_epoch).count());
}

ClockRandom::ClockRandom(NanosecondClock clock) : clock_(std::move(clock)), state_(Mix(clock_())) {}

void ClockRandom::Reseed() {
  state_ = Mix(state_ + kGoldenGamma + Mix(clock_()));
}

std::uint64_t ClockRandom::Next() {
  state_ += kGoldenGamma;
  return Mix(state_);
}

float ClockRandom::Draw() {
  constexpr float kUnit = 1.0f / 16777216.0f;  // 2^-24
  return static_cast<float>(Next() >> 40) * kUnit;
}

}  // namespace slash
