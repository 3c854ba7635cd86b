#include "tick_grid.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace slash::testing {

void ExpectOnGrid(const std::vector<double>& times_ms, const std::vector<int>& slots,
                  const GridBounds& bounds) {
  ASSERT_EQ(times_ms.size(), slots.size());
  const std::size_t n = times_ms.size();
  if (n < 2) return;
  // The grid's phase is the median of the ticks' own, so that one late
  // tick cannot shift it.
  std::vector<double> phases;
  for (std::size_t k = 0; k < n; ++k) phases.push_back(times_ms[k] - slots[k] * bounds.interval_ms);
  std::vector<double> sorted = phases;
  std::sort(sorted.begin(), sorted.end());
  const double phase = sorted[(n - 1) / 2];
  std::vector<double> offsets;
  for (const double p : phases) offsets.push_back(std::abs(p - phase));
  std::sort(offsets.begin(), offsets.end());
  EXPECT_LE(offsets[(n - 1) / 2], bounds.median_ms) << "the median tick is off the grid";
  EXPECT_LE(offsets[(n - 1) * 9 / 10], bounds.bound_ms) << "a tenth of the ticks are off the grid";
  const auto late = std::count_if(offsets.begin(), offsets.end(),
                                  [&](double offset) { return offset > bounds.bound_ms; });
  if (late > 0) {
    std::printf("note: %ld of %zu ticks off the grid by more than %.0f ms, the worst %.1f ms\n",
                static_cast<long>(late), n, bounds.bound_ms, offsets.back());
  }
  EXPECT_LE(late, n >= 20 ? 1 : 0)
      << "ticks off the grid by more than " << bounds.bound_ms << " ms";
  // The interval, fitted over all ticks: a drift of a fifth of a
  // millisecond a tick is 20 ms over a hundred. Over few ticks the fit is
  // only as good as the ticks' own spread allows.
  const int span = slots.back() - slots.front();
  if (span >= 4) {
    double mean_slot = 0, mean_time = 0;
    for (std::size_t k = 0; k < n; ++k) mean_slot += slots[k], mean_time += times_ms[k];
    mean_slot /= static_cast<double>(n);
    mean_time /= static_cast<double>(n);
    double covariance = 0, variance = 0;
    for (std::size_t k = 0; k < n; ++k) {
      covariance += (slots[k] - mean_slot) * (times_ms[k] - mean_time);
      variance += (slots[k] - mean_slot) * (slots[k] - mean_slot);
    }
    EXPECT_NEAR(covariance / variance, bounds.interval_ms,
                std::max(0.2, 2 * bounds.bound_ms / span))
        << "the ticks' interval";
  }
}

}  // namespace slash::testing
