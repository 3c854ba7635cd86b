// How slash ends when its display or its process is taken from under it.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <string>
#include <thread>

#include "x_display.h"

namespace slash {
namespace {

using testing::ChildProcess;
using testing::RunProcess;
using testing::XvfbDisplay;

constexpr int kNoDisplayStatus = 3;
constexpr int kDisplayLostStatus = 4;

void Sleep(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

TEST(SlashFaults, WithoutADisplayItSaysWhichAndFailsAtOnce) {
  const struct {
    testing::Environment env;
    const char* message;  // the whole of stderr
  } cases[] = {
      {{"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER", "SLASH_BACKEND"},
       "slash: no display to show the effect on (neither DISPLAY nor WAYLAND_DISPLAY is set)\n"},
      // Empty variables count as unset: nothing may run where nobody sees it.
      {{"DISPLAY=", "WAYLAND_DISPLAY=", "SDL_VIDEODRIVER=", "SLASH_BACKEND="},
       "slash: no display to show the effect on (neither DISPLAY nor WAYLAND_DISPLAY is set)\n"},
      {{"DISPLAY=:97", "WAYLAND_DISPLAY"}, "slash: cannot open the X display \":97\"\n"},
      {{"DISPLAY", "WAYLAND_DISPLAY=slash-test-none", "XDG_RUNTIME_DIR=/tmp"},
       "slash: cannot open the Wayland display \"slash-test-none\": there is no "
       "/tmp/slash-test-none\n"},
      {{"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER=wayland", "XDG_RUNTIME_DIR"},
       "slash: cannot open the Wayland display \"wayland-0\": XDG_RUNTIME_DIR is not set\n"},
      {{"SLASH_BACKEND=gl"}, "slash: unknown back end \"gl\" in SLASH_BACKEND (x11 or sdl)\n"},
  };
  for (const auto& c : cases) {
    const auto start = std::chrono::steady_clock::now();
    const auto result = RunProcess({SLASH_PATH, "30", "blue"}, c.env);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(result.status, kNoDisplayStatus) << c.message;
    EXPECT_EQ(result.err, c.message);
  }
}

TEST(SlashFaults, OverflowingCountReportsTheErrorWithoutShowingTheWindow) {
  const XvfbDisplay display(320, 240, false);
  ASSERT_TRUE(display.ok());
  const auto result = RunProcess({SLASH_PATH, "99999999999", "red"}, display.env());
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err.rfind("slash: run-time error: Overflow", 0), 0u) << result.err;
}

TEST(SlashFaults, LosingTheDisplayMidRunEndsTheProgram) {
  XvfbDisplay display(320, 240, false);
  ASSERT_TRUE(display.ok());
  ChildProcess slash({SLASH_PATH, "99", "red"}, display.env());
  Sleep(2000);  // placing lines
  ASSERT_TRUE(slash.Running());
  display.Kill();
  ASSERT_TRUE(slash.WaitFor(2000)) << "still running two seconds after the display died";
  EXPECT_EQ(slash.status(), kDisplayLostStatus);
  EXPECT_EQ(slash.TakeErr(), "slash: lost the connection to the display\n");
}

TEST(SlashFaults, StopSignalsEndTheRunAtOnceWithTheirStatus) {
  const XvfbDisplay display(320, 240, false);
  ASSERT_TRUE(display.ok());
  const struct {
    int signal_number;
    int after_ms;  // waiting, placing, flood, hold of "2 red"
  } cases[] = {{SIGTERM, 700}, {SIGINT, 1750}, {SIGTERM, 2080}, {SIGINT, 2600}};
  for (const auto& c : cases) {
    ChildProcess slash({SLASH_PATH, "2", "red"}, display.env());
    Sleep(c.after_ms);
    ASSERT_TRUE(slash.Running());
    slash.Signal(c.signal_number);
    ASSERT_TRUE(slash.WaitFor(2000));
    EXPECT_EQ(slash.status(), 128 + c.signal_number) << "after " << c.after_ms << " ms";
    EXPECT_TRUE(display.Query({"xdotool", "search", "--name", "^slash$"}).empty());
  }
}

TEST(SlashFaults, ClosingTheWindowEndsTheRun) {
  const XvfbDisplay display(320, 240, true);
  ASSERT_TRUE(display.ok());
  // Through the window manager's close, and by another client destroying it.
  for (const std::string how : {"wmctrl", "xdotool"}) {
    ChildProcess slash({SLASH_PATH, "30", "green"}, display.env());
    std::string id;
    for (int i = 0; i < 100 && id.empty(); ++i, Sleep(20)) {
      id = display.Query({"xdotool", "search", "--name", "^slash$"});
    }
    ASSERT_FALSE(id.empty());
    id = id.substr(0, id.find('\n'));
    Sleep(300);
    if (how == "wmctrl") {
      display.Query({"wmctrl", "-i", "-c", id});
    } else {
      display.Query({"xdotool", "windowclose", id});
    }
    ASSERT_TRUE(slash.WaitFor(2000)) << how;
    EXPECT_EQ(slash.status(), 0) << how;
    EXPECT_EQ(slash.TakeErr(), "") << how;
  }
}

TEST(SlashFaults, TwentyRunsBackToBackLeaveNothingBehind) {
  const XvfbDisplay display(320, 240, false);
  ASSERT_TRUE(display.ok());
  for (int run = 0; run < 20; ++run) {
    // "-8 red" ends at the first tick after the delay.
    ChildProcess slash({SLASH_PATH, "-8", "red"}, display.env());
    ASSERT_TRUE(slash.WaitFor(4000)) << "run " << run;
    EXPECT_EQ(slash.status(), 0) << "run " << run;
    EXPECT_EQ(kill(slash.pid(), 0), -1) << "run " << run << " left its process behind";
    EXPECT_EQ(display.Query({"xdotool", "search", "--name", "^slash$"}), "")
        << "run " << run << " left its window on the screen";
  }
}

}  // namespace
}  // namespace slash
