// slash started from a focused terminal on desktops as people have them: a
// window manager with a panel, a compositor that dims inactive windows, a
// manager still starting. The screen is watched through DAMAGE, so every
// state it goes through is seen.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>

#include "desktop_case.h"
#include "screen_watch.h"
#include "x_display.h"

namespace slash {
namespace {

using testing::ChildProcess;
using testing::Screenshot;
using testing::ScreenWatch;
using testing::TestDisplay;
using Desktop = TestDisplay::Desktop;
using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kBlue = 0xFF0000;  // 0x00BBGGRR

// How many pixels are black and how many blue.
struct Counts {
  std::size_t black = 0;
  std::size_t blue = 0;
  std::size_t all = 0;
  bool OnlyEffect() const { return black + blue == all; }
};

Counts Count(const Screenshot& shot) {
  Counts counts;
  counts.all = shot.pixels.size();
  for (const std::uint32_t pixel : shot.pixels) {
    counts.black += pixel == 0;
    counts.blue += pixel == kBlue;
  }
  return counts;
}

using testing::DesktopCase;
using testing::DesktopCaseName;

class OnADesktop : public ::testing::TestWithParam<DesktopCase> {};
class AfterTheRun : public ::testing::TestWithParam<DesktopCase> {};

// How many pixels show the bare root's colour (#203040).
std::size_t RootPixels(const Screenshot& shot) {
  return static_cast<std::size_t>(std::count(shot.pixels.begin(), shot.pixels.end(), 0x403020u));
}

// From the first black frame to the flood, every pixel of the screen is
// the effect's: no panel shows through, no dimming of an inactive window.
// A compositor may fade the window in and out around that.
TEST_P(OnADesktop, CoversEveryPanelFromAFocusedTerminal) {
  TestDisplay display(480, 360, GetParam().desktop);
  ASSERT_TRUE(display.ok()) << "the desktop did not start";
  ASSERT_TRUE(display.FocusTerminal()) << "no focused terminal";
  ScreenWatch watch(display.name());
  ASSERT_TRUE(watch.ok());
  ChildProcess slash({SLASH_PATH, "3", "blue"}, display.env());
  watch.Record([&] { return slash.Running(); }, 15000, 200);
  ASSERT_EQ(slash.status(), 0) << slash.TakeErr();

  bool black = false;
  bool flood = false;
  int lines = 0;
  for (const auto& state : watch.states()) {
    const Counts counts = Count(state.shot);
    if (!black) {
      black = counts.black == counts.all;
      continue;
    }
    ASSERT_TRUE(counts.OnlyEffect())
        << "at " << state.server_ms << " ms, " << counts.all - counts.black - counts.blue
        << " pixels are neither black nor the effect's blue";
    if (counts.blue == counts.all) {
      flood = true;
      break;
    }
    ++lines;
  }
  // A state is missed only by a watch that woke half a tick late.
  SLASH_SKIP_IF_STARVED(watch, 62.5);
  EXPECT_TRUE(black) << "the screen never showed all black";
  EXPECT_TRUE(flood) << "the screen never showed the whole flood";
  EXPECT_GE(lines, 4 - 1) << "lines seen";  // two lines may fall on the same rows
  EXPECT_LE(lines, 4);
}

INSTANTIATE_TEST_SUITE_P(Desktops, OnADesktop,
                         ::testing::Values(DesktopCase{"OpenboxTint2", Desktop::kOpenbox},
                                           DesktopCase{"OpenboxTint2Picom", Desktop::kOpenboxPicom},
                                           DesktopCase{"Icewm", Desktop::kIcewm},
                                           DesktopCase{"Kwin", Desktop::kKwin},
                                           DesktopCase{"Mutter", Desktop::kMutter}),
                         DesktopCaseName);

// Under a compositing manager, the desktop comes back the moment the
// effect goes: the terminal that had the focus is on screen again within
// 200 ms of the first state without the effect.
TEST_P(AfterTheRun, TheTerminalIsBackAtOnce) {
  TestDisplay display(480, 360, GetParam().desktop);
  ASSERT_TRUE(display.ok()) << "the desktop did not start";
  ASSERT_TRUE(display.FocusTerminal()) << "no focused terminal";
  ScreenWatch watch(display.name());
  ASSERT_TRUE(watch.ok());
  const std::size_t root_before = RootPixels(watch.Grab());
  ChildProcess slash({SLASH_PATH, "3", "blue"}, display.env());
  watch.Record([&] { return slash.Running(); }, 15000, 1500);
  ASSERT_EQ(slash.status(), 0) << slash.TakeErr();
  const std::vector<testing::ScreenState>& states = watch.states();
  std::size_t last_effect = 0;
  for (std::size_t i = 0; i < states.size(); ++i) {
    if (Count(states[i].shot).blue > 0) last_effect = i;
  }
  ASSERT_GT(last_effect, 0u) << "the effect never showed";
  // The effect lasts until the program ends; the state after its last is
  // the first without it.
  ASSERT_LT(last_effect + 1, states.size()) << "the effect never went";
  const std::uint32_t gone_ms = states[last_effect + 1].server_ms;
  std::optional<std::uint32_t> back_after_ms;
  for (std::size_t i = last_effect + 1; i < states.size() && !back_after_ms; ++i) {
    if (RootPixels(states[i].shot) <= root_before) back_after_ms = states[i].server_ms - gone_ms;
  }
  ASSERT_TRUE(back_after_ms) << "the terminal never came back";
  SLASH_SKIP_IF_STARVED(watch, 100.0);
  EXPECT_LE(*back_after_ms, 200u);
}

INSTANTIATE_TEST_SUITE_P(Compositors, AfterTheRun,
                         ::testing::Values(DesktopCase{"Kwin", Desktop::kKwin},
                                           DesktopCase{"Mutter", Desktop::kMutter},
                                           DesktopCase{"OpenboxPicom", Desktop::kOpenboxPicom}),
                         DesktopCaseName);

// A window manager that is starting while slash maps its window can drop
// the request. slash started the moment the manager announces itself must
// still show within 300 ms of that.
TEST(ManagerStart, TheWindowShowsSoonAfterTheManagerIsReady) {
  for (int run = 0; run < 3; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    const TestDisplay display(480, 360, Desktop::kBare);
    ASSERT_TRUE(display.ok());
    ScreenWatch watch(display.name());
    ASSERT_TRUE(watch.ok());
    ChildProcess manager({"openbox", "--sm-disable"}, display.env());
    const auto give_up = Clock::now() + std::chrono::seconds(10);
    while (!watch.WindowManagerAnnounced() && Clock::now() < give_up) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const auto ready = Clock::now();
    ChildProcess slash({SLASH_PATH, "3", "blue"}, display.env());
    bool shown = false;
    while (!shown && Clock::now() - ready < std::chrono::milliseconds(1400)) {
      const Counts counts = Count(watch.Grab());
      shown = counts.all > 0 && counts.black == counts.all;
    }
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - ready);
    ASSERT_TRUE(shown) << "the window never showed before the lines were due";
    EXPECT_LE(waited.count(), 300);
    ASSERT_TRUE(slash.WaitFor(10000));
    EXPECT_EQ(slash.status(), 0);
  }
}

}  // namespace
}  // namespace slash
