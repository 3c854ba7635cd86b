#include "effect/slash_sequence.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_runtime.h"
#include "recording_window.h"
#include "runtime/number_services.h"
#include "runtime/runtime_error.h"

namespace slash {
namespace {

using Operation = WindowRecord::Operation;
using testing::FakeRuntime;

// What one tick did, read from the window's records.
struct TickOutcome {
  int placed_line = -1;
  bool flooded = false;
  bool ended = false;
  std::vector<WindowRecord> records;
};

struct SequenceRun {
  std::vector<TickOutcome> ticks;  // ticks[0] is tick 1
  EffectState final_state;
};

SequenceRun RunToEnd(const std::string& command, ScreenSize screen = {1920, 1080}) {
  FakeRuntime runtime(command, screen);
  RecordingWindow window;
  EffectState state;
  LoadEffect(state, window, runtime);
  window.TakeRecords();
  SequenceRun run;
  for (int tick = 1; runtime.end_calls == 0 && tick <= 1000; ++tick) {
    TickEffect(state, window, runtime);
    TickOutcome outcome;
    outcome.records = window.TakeRecords();
    for (const WindowRecord& record : outcome.records) {
      if (record.operation == Operation::kSetLineX1) outcome.placed_line = record.line;
      if (record.operation == Operation::kSetBackground) outcome.flooded = true;
    }
    outcome.ended = runtime.end_calls > 0;
    run.ticks.push_back(outcome);
  }
  run.final_state = state;
  return run;
}

TEST(LoadEffect, FitsTheWindowToTheScreenAndColoursTheLinesToDraw) {
  const struct {
    std::string command;
    ScreenSize screen;
    int colored;
  } cases[] = {
      {"", {1920, 1080}, 13},      {"99 red", {1, 1}, 100},     {"0 white", {7680, 4320}, 1},
      {"-1 green", {640, 480}, 0}, {"-9 blue", {100000, 3}, 0},
  };
  for (const auto& c : cases) {
    FakeRuntime runtime(c.command, c.screen);
    RecordingWindow window;
    EffectState state;
    LoadEffect(state, window, runtime);
    const EffectScene& scene = window.scene();
    EXPECT_EQ(scene.left, 0);
    EXPECT_EQ(scene.top, 0);
    EXPECT_EQ(scene.width, c.screen.width);
    EXPECT_EQ(scene.height, c.screen.height);
    for (int line = 0; line < static_cast<int>(kLineCount); ++line) {
      const EffectColor expected = line < c.colored ? state.ZanColor : kBlack;
      EXPECT_EQ(scene.Lz[line].color, expected) << c.command << " line " << line;
      EXPECT_FALSE(scene.Lz[line].placed);
    }
  }
}

TEST(LoadEffect, OverflowingCountColoursNothing) {
  FakeRuntime runtime("3000000000 red", {1920, 1080});
  RecordingWindow window;
  EffectState state;
  EXPECT_THROW(LoadEffect(state, window, runtime), RuntimeError);
  for (const WindowRecord& record : window.TakeRecords()) {
    EXPECT_NE(record.operation, Operation::kSetLineColor);
  }
}

struct LifecycleCase {
  std::string command;
  int first_line;  // highest line placed, -1 when none
  int flood_tick;  // 0 when there is no flood
  int end_tick;
};

TEST(TickEffect, FollowsTheLifecycleForEveryStartingCount) {
  const LifecycleCase cases[] = {
      {"99 red", 99, 113, 120}, {"", 12, 26, 33},
      {"0 red", 0, 14, 21},     {"-1 red", -1, 13, 20},
      {"-5 red", -1, 0, 16},    {"-8 red", -1, 0, 13},
      {"-9 red", -1, 0, 13},    {"-2147483648 red", -1, 0, 13},
  };
  for (const LifecycleCase& c : cases) {
    const SequenceRun run = RunToEnd(c.command);
    ASSERT_EQ(static_cast<int>(run.ticks.size()), c.end_tick) << c.command;
    int expected_line = c.first_line;
    for (int tick = 1; tick <= c.end_tick; ++tick) {
      const TickOutcome& outcome = run.ticks[tick - 1];
      const bool placing = tick >= 13 && expected_line >= 0;
      EXPECT_EQ(outcome.placed_line, placing ? expected_line : -1) << c.command << " tick " << tick;
      if (placing) --expected_line;
      EXPECT_EQ(outcome.flooded, tick == c.flood_tick) << c.command << " tick " << tick;
      EXPECT_EQ(outcome.ended, tick == c.end_tick) << c.command << " tick " << tick;
      if (tick <= 12 || outcome.ended) {
        EXPECT_TRUE(outcome.records.empty()) << c.command;
      }
    }
    EXPECT_EQ(expected_line, -1) << c.command;
    EXPECT_EQ(run.final_state.ZanWait, 0);
  }
}

TEST(TickEffect, WaitingTicksOnlyCountTheDelayDown) {
  FakeRuntime runtime("", {1920, 1080});
  RecordingWindow window;
  EffectState state;
  LoadEffect(state, window, runtime);
  window.TakeRecords();
  for (int tick = 1; tick <= 12; ++tick) {
    TickEffect(state, window, runtime);
    EXPECT_EQ(state.ZanWait, 12 - tick);
    EXPECT_EQ(state.ZanCount, 12);
  }
  EXPECT_TRUE(window.TakeRecords().empty());
  EXPECT_TRUE(runtime.calls.empty());
}

TEST(TickEffect, PlacesEachLineAcrossTheWindowFromTwoSeparateReseededDraws) {
  const ScreenSize screens[] = {{1920, 1080}, {1, 1}, {100000, 7}, {3, 5000}};
  for (const ScreenSize screen : screens) {
    FakeRuntime runtime("2 red", screen);
    runtime.draws = {0.25f, 0.75f, 0.0f, 0.999999f, 0.5f, 0.125f};
    RecordingWindow window;
    EffectState state;
    LoadEffect(state, window, runtime);
    for (int tick = 1; tick <= 12; ++tick) TickEffect(state, window, runtime);
    window.TakeRecords();
    for (int placed = 0; placed < 3; ++placed) {
      TickEffect(state, window, runtime);
      const std::vector<WindowRecord> records = window.TakeRecords();
      ASSERT_EQ(records.size(), 4u);
      const int line = 2 - placed;
      const float r1 = runtime.draws[2 * placed];
      const float r2 = runtime.draws[2 * placed + 1];
      const Operation order[] = {Operation::kSetLineX1, Operation::kSetLineX2,
                                 Operation::kSetLineY1, Operation::kSetLineY2};
      const double values[] = {0.0, static_cast<double>(screen.width),
                               static_cast<double>(CheckedHeightProduct(r1, screen.height)),
                               static_cast<double>(CheckedHeightProduct(r2, screen.height))};
      for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(records[i].operation, order[i]);
        EXPECT_EQ(records[i].line, line);
        EXPECT_EQ(records[i].value, values[i]) << "op " << i << " screen " << screen.width;
      }
      EXPECT_GE(records[2].value, 0.0);
      EXPECT_LT(records[3].value, screen.height);
    }
    EXPECT_EQ(runtime.calls, "RDRDRDRDRDRD");
  }
}

}  // namespace
}  // namespace slash
