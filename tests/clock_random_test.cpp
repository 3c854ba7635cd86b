#include "runtime/clock_random.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace slash {
namespace {

std::vector<float> ReseededDraws(const NanosecondClock& clock, int count) {
  ClockRandom random(clock);
  std::vector<float> draws;
  for (int i = 0; i < count; ++i) {
    random.Reseed();
    draws.push_back(random.Draw());
  }
  return draws;
}

TEST(ClockRandom, ReseedsFromAnUnchangedClockStillGiveSeparateDraws) {
  // A coarse clock that reads the same value for every reseed of a tick.
  const std::vector<float> draws = ReseededDraws([] { return std::uint64_t{1'000'000}; }, 200);
  const std::set<float> distinct(draws.begin(), draws.end());
  EXPECT_GT(distinct.size(), 190u);
}

TEST(ClockRandom, SameClockReadingsGiveTheSameDraws) {
  const auto ticking_clock = [] {
    std::uint64_t now = 42;
    return [now]() mutable { return now += 1000; };
  };
  EXPECT_EQ(ReseededDraws(ticking_clock(), 50), ReseededDraws(ticking_clock(), 50));
  EXPECT_NE(ReseededDraws(ticking_clock(), 50), ReseededDraws([] { return std::uint64_t{7}; }, 50));
}

TEST(ClockRandom, DrawsLieInTheUnitIntervalAndSpreadOverIt) {
  ClockRandom random;
  double sum = 0;
  int low = 0;
  constexpr int kDraws = 100000;
  for (int i = 0; i < kDraws; ++i) {
    if (i % 2 == 0) random.Reseed();
    const float r = random.Draw();
    ASSERT_GE(r, 0.0f);
    ASSERT_LT(r, 1.0f);
    sum += r;
    low += r < 0.1f;
  }
  EXPECT_NEAR(sum / kDraws, 0.5, 0.01);
  EXPECT_NEAR(low / static_cast<double>(kDraws), 0.1, 0.01);
}

}  // namespace
}  // namespace slash
