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
    // Each tick is served up to 100 ms late; the next stays on the grid.
    EXPECT_TRUE(schedule.TakeDue(due + milliseconds(k % 2 == 0 ? 100 : 0)));
  }
  EXPECT_EQ(schedule.NextDue(), start + milliseconds(4250));
  EXPECT_EQ(schedule.taken(), 33);
  EXPECT_EQ(schedule.dropped(), 0);
}

TEST(TickSchedule, TakesOneTickPerDueTime) {
  TickSchedule schedule(nanoseconds(0), kInterval);
  EXPECT_TRUE(schedule.TakeDue(milliseconds(130)));
  EXPECT_FALSE(schedule.TakeDue(milliseconds(130)));
  EXPECT_FALSE(schedule.TakeDue(milliseconds(249)));
  EXPECT_TRUE(schedule.TakeDue(milliseconds(250)));
}

TEST(TickSchedule, DropsTicksMissedByAWholeIntervalInsteadOfBursting) {
  const struct {
    milliseconds now;
    milliseconds next_due;
    int dropped;
  } cases[] = {
      {milliseconds(249), milliseconds(250), 0},    // late, but less than an interval
      {milliseconds(250), milliseconds(375), 1},    // exactly one interval late
      {milliseconds(1000), milliseconds(1125), 7},  // a long stall
  };
  for (const auto& c : cases) {
    TickSchedule schedule(nanoseconds(0), kInterval);
    EXPECT_TRUE(schedule.TakeDue(c.now));
    EXPECT_FALSE(schedule.TakeDue(c.now)) << "a stall must not fire ticks back to back";
    EXPECT_EQ(schedule.NextDue(), c.next_due);
    EXPECT_EQ(schedule.dropped(), c.dropped);
  }
}

}  // namespace
}  // namespace slash
