#include "window/tick_schedule.h"

#include <gtest/gtest.h>

namespace slash {
namespace {

using std::chrono::milliseconds;
using std::chrono::nanoseconds;

constexpr milliseconds kInterval{125};

TEST(TickSchedule, TickKIsDueAtStartPlusKIntervalsWhateverTheTicksCost) {
  const nanoseconds start = milliseconds(1000);
  TickSchedule schedule(start, kInterval);
  for (int k = 1; k <= 33; ++k) {
    const nanoseconds due = start + k * kInterval;
    ASSERT_EQ(schedule.NextDue(), due);
    EXPECT_FALSE(schedule.TakeDue(due - nanoseconds(1)));
    // Ticks served late, but within the tolerance, keep the grid.
    EXPECT_TRUE(schedule.TakeDue(due + milliseconds(k % 2 == 0 ? 30 : 0)));
  }
  EXPECT_EQ(schedule.NextDue(), start + milliseconds(4250));
}

TEST(TickSchedule, TakesOneTickPerDueTime) {
  TickSchedule schedule(nanoseconds(0), kInterval);
  EXPECT_TRUE(schedule.TakeDue(milliseconds(130)));
  EXPECT_FALSE(schedule.TakeDue(milliseconds(130)));
  EXPECT_FALSE(schedule.TakeDue(milliseconds(249)));
  EXPECT_TRUE(schedule.TakeDue(milliseconds(250)));
}

TEST(TickSchedule, AStallRephasesTheGridInsteadOfBunchingTicks) {
  const struct {
    milliseconds now;       // when the tick due at 125 ms is taken
    milliseconds next_due;  // when the next one comes
  } cases[] = {
      {milliseconds(125), milliseconds(250)},    // on time
      {milliseconds(156), milliseconds(250)},    // within the tolerance: the grid holds
      {milliseconds(230), milliseconds(355)},    // stopped for 105 ms: the grid moves
      {milliseconds(1000), milliseconds(1125)},  // a long stall: no burst of ticks
  };
  for (const auto& c : cases) {
    TickSchedule schedule(nanoseconds(0), kInterval);
    EXPECT_TRUE(schedule.TakeDue(c.now));
    EXPECT_FALSE(schedule.TakeDue(c.now)) << "a stall must not fire ticks back to back";
    EXPECT_EQ(schedule.NextDue(), c.next_due);
    EXPECT_GE(schedule.NextDue() - c.now, kInterval - TickSchedule::StallTolerance(kInterval));
  }
}

}  // namespace
}  // namespace slash
