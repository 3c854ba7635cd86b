// slash started from a focused terminal on desktops as people have them: a
// window manager with a panel, a compositor that dims inactive windows, a
// manager still starting. The screen is watched through DAMAGE, so every
// state it goes through is seen.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

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

struct DesktopCase {
  const char* name;
  Desktop desktop;
};

void PrintTo(const DesktopCase& c, std::ostream* out) {
  *out << c.name;
}

class OnADesktop : public ::testing::TestWithParam<DesktopCase> {};

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
  EXPECT_TRUE(black) << "the screen never showed all black";
  EXPECT_TRUE(flood) << "the screen never showed the whole flood";
  EXPECT_GE(lines, 4 - 1) << "lines seen";  // two lines may fall on the same rows
  EXPECT_LE(lines, 4);
}

INSTANTIATE_TEST_SUITE_P(Desktops, OnADesktop,
                         ::testing::Values(DesktopCase{"OpenboxTint2", Desktop::kOpenbox},
                                           DesktopCase{"OpenboxTint2Picom", Desktop::kOpenboxPicom},
                                           DesktopCase{"Icewm", Desktop::kIcewm}),
                         [](const auto& info) { return std::string(info.param.name); });

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
