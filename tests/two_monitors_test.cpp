// Two monitors side by side, the primary on the right: the effect covers
// exactly the primary one, pixel for pixel, and the other never changes.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "desktop_case.h"
#include "screen_watch.h"
#include "x_display.h"

namespace slash {
namespace {

using testing::ChildProcess;
using testing::Screenshot;
using testing::ScreenWatch;
using testing::TestDisplay;

constexpr int kMonitorWidth = 960;  // each monitor is 960x600; the primary starts at x = 960

// What the primary monitor shows: every pixel one of black and `color`,
// and how many are `color`; -1 if anything else shows there.
long ColoredOnPrimary(const Screenshot& shot, std::uint32_t color) {
  long colored = 0;
  for (int y = 0; y < shot.height; ++y) {
    for (int x = kMonitorWidth; x < shot.width; ++x) {
      const std::uint32_t pixel = shot.At(x, y);
      if (pixel == color) {
        ++colored;
      } else if (pixel != 0) {
        return -1;
      }
    }
  }
  return colored;
}

bool LeftMonitorUnchanged(const Screenshot& shot, const Screenshot& before) {
  for (int y = 0; y < shot.height; ++y) {
    for (int x = 0; x < kMonitorWidth; ++x) {
      if (shot.At(x, y) != before.At(x, y)) return false;
    }
  }
  return true;
}

using testing::DesktopCase;

// Whether the screen is as it was before the run, but for what changes on
// its own: MATE's panels, along the top and bottom of the primary monitor,
// carry a clock and redraw their icons as windows come and go.
bool DesktopBack(const Screenshot& shot, const Screenshot& before, bool panels_tick) {
  constexpr int kPanelRows = 25;
  for (int y = 0; y < shot.height; ++y) {
    const bool panel_row = y < kPanelRows || y >= shot.height - kPanelRows;
    for (int x = 0; x < shot.width; ++x) {
      if (panels_tick && panel_row && x >= kMonitorWidth) continue;
      if (shot.At(x, y) != before.At(x, y)) return false;
    }
  }
  return true;
}

class TwoMonitors : public ::testing::TestWithParam<DesktopCase> {};

TEST_P(TwoMonitors, TheEffectCoversExactlyThePrimaryMonitor) {
  if (geteuid() != 0) GTEST_SKIP() << "Xorg with the dummy driver needs root";
  const DesktopCase& param = GetParam();
  const TestDisplay display(TestDisplay::TwoMonitors{}, param.desktop);
  ASSERT_TRUE(display.ok()) << "no Xorg with the dummy driver";
  ScreenWatch watch(display.name());
  ASSERT_TRUE(watch.ok());
  testing::Environment env = display.env();
  env.push_back("SLASH_BACKEND=x11");
  ChildProcess slash({SLASH_PATH, "3", "blue"}, env);
  watch.Record([&] { return slash.Running(); }, 15000, 300);
  ASSERT_EQ(slash.status(), 0) << slash.TakeErr();

  const std::vector<testing::ScreenState>& states = watch.states();
  ASSERT_GE(states.size(), 2u);
  const Screenshot& before = states.front().shot;
  ASSERT_EQ(before.width, 2 * kMonitorWidth);
  constexpr std::uint32_t kBlue = 0xFF0000;
  const long primary_pixels = static_cast<long>(kMonitorWidth) * before.height;
  bool black = false;
  bool flood = false;
  int line_states = 0;
  for (std::size_t i = 1; i < states.size(); ++i) {
    const Screenshot& shot = states[i].shot;
    EXPECT_TRUE(LeftMonitorUnchanged(shot, before)) << "state " << i << " touched the left monitor";
    if (flood) continue;  // the window is going; the desktop comes back
    const long colored = ColoredOnPrimary(shot, kBlue);
    if (!black && colored != 0) {
      // Until the window covers the primary, that is the desktop, whose
      // panels may redraw their own icons as a window appears; nothing of
      // the window shows there, not even under the panels.
      ASSERT_TRUE(DesktopBack(shot, before, true))
          << "state " << i << " shows part of the window before it covers the primary";
      continue;
    }
    black = true;
    ASSERT_GE(colored, 0) << "state " << i << " shows other pixels on the primary monitor";
    if (colored > 0 && colored < primary_pixels) ++line_states;
    flood = colored == primary_pixels;
  }
  // A state is missed only by a watch that woke half a tick late.
  SLASH_SKIP_IF_STARVED(watch, 62.5);
  EXPECT_TRUE(black);
  EXPECT_EQ(line_states, 4);
  EXPECT_TRUE(flood);
  EXPECT_TRUE(DesktopBack(states.back().shot, before, param.desktop == TestDisplay::Desktop::kMate))
      << "the desktop did not come back";
}

INSTANTIATE_TEST_SUITE_P(BackEnds, TwoMonitors,
                         ::testing::Values(DesktopCase{"x11NoManager", TestDisplay::Desktop::kBare},
                                           DesktopCase{"x11Openbox",
                                                       TestDisplay::Desktop::kOpenbox},
                                           DesktopCase{"x11Mate", TestDisplay::Desktop::kMate}),
                         testing::DesktopCaseName);

}  // namespace
}  // namespace slash

namespace slash {
namespace {

// A primary monitor 40000 pixels wide (set with RandR) is past what the
// protocol's 16-bit coordinates address. On the 1920 columns the screen
// has, each line is a whole line, one pixel a column stepping at most one
// row, never a dot that wrapped round to the left edge. (That the pixels
// are the server's own for the whole line is the rasterizer's test.)
TEST(WideMonitor, TheVisiblePartOfEachLineCrossesTheScreen) {
  if (geteuid() != 0) GTEST_SKIP() << "Xorg with the dummy driver needs root";
  const TestDisplay display(TestDisplay::TwoMonitors{}, false);
  ASSERT_TRUE(display.ok()) << "no Xorg with the dummy driver";
  display.Query({"xrandr", "--setmonitor", "*wide", "40000/1000x600/300+0+0", "none"});
  ASSERT_NE(display.Query({"xrandr", "--listmonitors"}).find("40000/"), std::string::npos);
  ScreenWatch watch(display.name());
  ASSERT_TRUE(watch.ok());
  // The server's damage reports cannot describe drawing that far out, so
  // the screen is polled: each line lasts a tick, many grabs long.
  ChildProcess slash({SLASH_PATH, "2", "blue"}, display.env());
  std::vector<Screenshot> shots;
  while (slash.Running()) {
    Screenshot shot = watch.Grab();
    if (shots.empty() || shot.pixels != shots.back().pixels) shots.push_back(std::move(shot));
  }
  ASSERT_EQ(slash.status(), 0) << slash.TakeErr();
  constexpr std::uint32_t kBlue = 0xFF0000;
  int line_states = 0;
  for (const Screenshot& shot : shots) {
    int blue = 0;
    for (const std::uint32_t pixel : shot.pixels) blue += pixel == kBlue;
    if (blue == 0 || blue == shot.width * shot.height || line_states > 0) {
      line_states += blue > 0 && blue < shot.width * shot.height;
      continue;
    }
    // The first line, alone on the screen.
    ++line_states;
    int previous_row = -1;
    int bad_columns = 0;
    for (int x = 0; x < shot.width; ++x) {
      int row = -1;
      int in_column = 0;
      for (int y = 0; y < shot.height; ++y) {
        if (shot.At(x, y) == kBlue) row = y, ++in_column;
      }
      bad_columns += in_column != 1 || (previous_row >= 0 && std::abs(row - previous_row) > 1);
      previous_row = row;
    }
    EXPECT_EQ(bad_columns, 0) << "columns that are not one pixel of a line";
  }
  EXPECT_EQ(line_states, 3);
}

// A server that stops reading while such lines are drawn (each thousands of
// rectangles) never holds the end up: what it has no room for waits, and
// the run ends on time.
TEST(WideMonitor, AStoppedServerDoesNotHoldUpTheEnd) {
  if (geteuid() != 0) GTEST_SKIP() << "Xorg with the dummy driver needs root";
  TestDisplay display(TestDisplay::TwoMonitors{}, false);
  ASSERT_TRUE(display.ok()) << "no Xorg with the dummy driver";
  display.Query({"xrandr", "--setmonitor", "*wide", "40000/1000x600/300+0+0", "none"});
  const auto start = std::chrono::steady_clock::now();
  ChildProcess slash({SLASH_PATH, "99", "blue"}, display.env());
  std::this_thread::sleep_for(std::chrono::milliseconds(1600));
  display.Pause(true);
  const bool ended = slash.WaitFor(20000);
  const double took =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  display.Pause(false);
  ASSERT_TRUE(ended) << "still running 21 s in";
  EXPECT_EQ(slash.status(), 0) << slash.TakeErr();
  EXPECT_LT(took, 15.5) << "the end came late";
}

}  // namespace
}  // namespace slash
