// The real slash under an Xvfb of the test's own, watched through screenshots
// and the X server's view of its window.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "x_display.h"

namespace slash {
namespace {

using testing::ChildProcess;
using testing::Screenshot;
using testing::XvfbDisplay;
using Clock = std::chrono::steady_clock;

constexpr int kScreenWidth = 480;
constexpr int kScreenHeight = 360;

struct Frame {
  double taken_from_ms;  // when the capture started and ended, since launch
  double taken_to_ms;
  Screenshot shot;
};

struct WatchedRun {
  Screenshot before;  // the screen before slash starts
  std::vector<Frame> frames;
  std::string properties;  // xprop of the window
  std::string geometry;    // xwininfo of the window
  int status = -1;
  double exit_ms = 0;
};

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

WatchedRun RunWatched(const XvfbDisplay& display, const std::vector<std::string>& words) {
  WatchedRun run;
  display.Capture(run.before);
  std::vector<std::string> argv = {SLASH_PATH};
  argv.insert(argv.end(), words.begin(), words.end());
  const Clock::time_point start = Clock::now();
  ChildProcess slash(argv, display.env());
  while (slash.Running() && MsSince(start) < 30000) {
    Frame frame;
    frame.taken_from_ms = MsSince(start);
    if (!display.Capture(frame.shot)) continue;
    frame.taken_to_ms = MsSince(start);
    run.frames.push_back(std::move(frame));
    if (run.properties.empty() && MsSince(start) > 500) {
      const std::string id = display.Query({"xdotool", "search", "--name", "^slash$"});
      if (!id.empty()) {
        const std::string first = id.substr(0, id.find('\n'));
        run.properties = display.Query({"xprop", "-id", first});
        run.geometry = display.Query({"xwininfo", "-id", first});
      }
    }
  }
  slash.WaitFor(5000);
  run.exit_ms = MsSince(start);
  run.status = slash.status();
  return run;
}

enum class Look { kBefore, kBlack, kLines, kFlood, kOther };

Look Classify(const Screenshot& shot, const Screenshot& before, std::uint32_t color) {
  if (shot.pixels == before.pixels) return Look::kBefore;
  std::size_t colored = 0;
  for (const std::uint32_t pixel : shot.pixels) {
    if (pixel == color) {
      ++colored;
    } else if (pixel != 0) {
      return Look::kOther;
    }
  }
  if (colored == 0) return Look::kBlack;
  return colored == shot.pixels.size() ? Look::kFlood : Look::kLines;
}

bool EveryColumnHas(const Screenshot& shot, std::uint32_t color) {
  for (int x = 0; x < shot.width; ++x) {
    bool found = false;
    for (int y = 0; y < shot.height && !found; ++y) found = shot.At(x, y) == color;
    if (!found) return false;
  }
  return true;
}

struct EffectCase {
  std::vector<std::string> words;
  int count;
  std::uint32_t color;  // 0x00BBGGRR
};

void ExpectWholeEffect(const XvfbDisplay& display, const EffectCase& c, bool managed) {
  const WatchedRun run = RunWatched(display, c.words);
  ASSERT_EQ(run.status, 0);
  ASSERT_FALSE(run.frames.empty());

  // The screen goes: as before, black, lines, flood, and as before once the
  // window is gone. Nothing else ever shows: no white, no frame, no panel.
  std::vector<Look> looks;
  std::set<std::vector<std::uint32_t>> line_states;
  const Frame* first_lines = nullptr;
  const Frame* last_lines = nullptr;
  const Frame* first_flood = nullptr;
  const Frame* window_gone = nullptr;
  double longest_gap = 0;
  for (std::size_t i = 0; i < run.frames.size(); ++i) {
    const Frame& frame = run.frames[i];
    const Look look = Classify(frame.shot, run.before, c.color);
    // Once the flood gives way, the window is gone and the desktop is back.
    if (first_flood && look != Look::kFlood) {
      window_gone = &frame;
      break;
    }
    ASSERT_NE(look, Look::kOther) << "unexpected pixels " << frame.taken_from_ms << " ms in";
    if (!looks.empty() && look == looks.back()) {
      if (look == Look::kLines) line_states.insert(frame.shot.pixels);
      if (look == Look::kLines) last_lines = &frame;
      continue;
    }
    looks.push_back(look);
    if (look == Look::kLines) {
      line_states.insert(frame.shot.pixels);
      first_lines = first_lines ? first_lines : &frame;
      last_lines = &frame;
    }
    if (look == Look::kFlood && !first_flood) first_flood = &frame;
    if (first_lines && !first_flood && i > 0) {
      longest_gap = std::max(longest_gap, frame.taken_to_ms - run.frames[i - 1].taken_from_ms);
    }
  }
  std::vector<Look> expected = {Look::kBefore, Look::kBlack};
  if (c.count >= 0) expected.push_back(Look::kLines);
  if (c.count >= -1) expected.push_back(Look::kFlood);
  if (looks.front() != Look::kBefore) looks.insert(looks.begin(), Look::kBefore);
  ASSERT_EQ(looks, expected);

  if (c.count >= 0) {
    ASSERT_TRUE(last_lines && first_flood);
    const int lines = c.count + 1;
    EXPECT_TRUE(EveryColumnHas(last_lines->shot, c.color)) << "a line stops short of an edge";
    EXPECT_LE(static_cast<int>(line_states.size()), lines);
    if (longest_gap < 110) {
      EXPECT_EQ(static_cast<int>(line_states.size()), lines) << "every tick's frame was captured";
    }
    const double placing_ms = first_flood->taken_to_ms - first_lines->taken_from_ms;
    EXPECT_NEAR(placing_ms, lines * 125.0, 125.0);
  }
  // The window goes seven ticks after the flood, and the process with it.
  if (first_flood && window_gone) {
    const double flood_to_end = window_gone->taken_to_ms - first_flood->taken_from_ms;
    EXPECT_GT(flood_to_end, 875.0 - 150.0);
    EXPECT_LT(flood_to_end, 875.0 + 350.0);
  }
  if (window_gone) {
    EXPECT_LT(run.exit_ms - window_gone->taken_from_ms, 2000.0);
  }

  // The window: at the origin with the screen's size, never in a task bar or pager.
  EXPECT_NE(run.geometry.find("Absolute upper-left X:  0\n"), std::string::npos) << run.geometry;
  EXPECT_NE(run.geometry.find("Absolute upper-left Y:  0\n"), std::string::npos) << run.geometry;
  EXPECT_NE(run.geometry.find("Width: " + std::to_string(kScreenWidth) + "\n"), std::string::npos);
  EXPECT_NE(run.geometry.find("Height: " + std::to_string(kScreenHeight) + "\n"),
            std::string::npos);
  EXPECT_NE(run.properties.find("_NET_WM_STATE_SKIP_TASKBAR"), std::string::npos) << run.properties;
  EXPECT_NE(run.properties.find("_NET_WM_STATE_SKIP_PAGER"), std::string::npos);
  if (managed) {
    EXPECT_NE(run.properties.find("_NET_FRAME_EXTENTS(CARDINAL) = 0, 0, 0, 0"), std::string::npos)
        << run.properties;
    EXPECT_NE(run.properties.find("_NET_WM_STATE_FULLSCREEN"), std::string::npos);
  }
}

const EffectCase kEffectCases[] = {
    {{}, 12, 0x0000FF},
    {{"30", "blue"}, 30, 0xFF0000},
    {{"0", "white"}, 0, 0xFFFFFF},
    {{"-1", "green"}, -1, 0x00FF00},
};

class SlashWindow : public ::testing::TestWithParam<bool> {};

TEST_P(SlashWindow, ShowsTheWholeEffectAndEndsByItself) {
  const bool managed = GetParam();
  const XvfbDisplay display(kScreenWidth, kScreenHeight, managed);
  ASSERT_TRUE(display.ok()) << "no Xvfb" << (managed ? " with a window manager" : "");
  for (const EffectCase& c : kEffectCases) {
    SCOPED_TRACE("command line with count " + std::to_string(c.count));
    ExpectWholeEffect(display, c, managed);
  }
}

INSTANTIATE_TEST_SUITE_P(WindowManagers, SlashWindow, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Openbox" : "NoManager"; });

}  // namespace
}  // namespace slash
