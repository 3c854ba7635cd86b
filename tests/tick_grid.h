#pragma once

#include <vector>

namespace slash::testing {

// Checks that events land on a grid of `interval_ms`: `times_ms[k]` is when
// event k was seen, `slots[k]` the grid slot it belongs to. What is wrong
// shows in the bulk: a wrong interval or a drift moves the fitted interval
// and the later offsets, bunched or late ticks the median and the 90th
// percentile. A single late frame on a busy machine is reported, not
// failed: one in a run of 20 or more may pass `bound_ms`.
struct GridBounds {
  double interval_ms = 125.0;
  double median_ms = 3.0;  // the median offset from the grid
  double bound_ms = 15.0;  // the 90th percentile, and every tick but one
};
void ExpectOnGrid(const std::vector<double>& times_ms, const std::vector<int>& slots,
                  const GridBounds& bounds);

}  // namespace slash::testing
