// How slash ends when its display or its process is taken from under it.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "runtime/exit_status.h"
#include "screen_watch.h"
#include "x_display.h"

namespace slash {
namespace {

using testing::ChildProcess;
using testing::RunProcess;
using testing::TestDisplay;

using testing::ScreenWatch;
using testing::Sleep;

// A display number that no X server can have while this lives: its
// abstract socket is bound here, without listening, so a connection to it
// is refused, and a server that tried to start there could not.
class HeldDisplayNumber {
 public:
  HeldDisplayNumber() {
    for (int number = 2000; number < 3000 && fd_ < 0; ++number) {
      const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
      sockaddr_un address{};
      address.sun_family = AF_UNIX;
      const std::string name = "/tmp/.X11-unix/X" + std::to_string(number);
      std::memcpy(address.sun_path + 1, name.data(), name.size());  // abstract: a leading 0
      const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
      if (bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
          access(name.c_str(), F_OK) != 0) {
        fd_ = fd;
        name_ = ":" + std::to_string(number);
      } else {
        close(fd);
      }
    }
  }
  ~HeldDisplayNumber() {
    if (fd_ >= 0) close(fd_);
  }
  const std::string& name() const { return name_; }

 private:
  int fd_ = -1;
  std::string name_;
};

TEST(SlashFaults, WithoutADisplayItSaysWhichAndFailsAtOnce) {
  const HeldDisplayNumber held;
  ASSERT_FALSE(held.name().empty());
  const std::string unreachable = "slash: cannot open the X display \"" + held.name() + "\"\n";
  const struct {
    testing::Environment env;
    const char* message;  // the whole of stderr
  } cases[] = {
      {{"DISPLAY", "WAYLAND_DISPLAY", "SLASH_BACKEND"},
       "slash: no display to show the effect on (neither WAYLAND_DISPLAY nor DISPLAY is set)\n"},
      // Empty variables count as unset: nothing may run where nobody sees it.
      {{"DISPLAY=", "WAYLAND_DISPLAY=", "SLASH_BACKEND="},
       "slash: no display to show the effect on (neither WAYLAND_DISPLAY nor DISPLAY is set)\n"},
      {{"DISPLAY=" + held.name(), "WAYLAND_DISPLAY"}, unreachable.c_str()},
      {{"DISPLAY", "WAYLAND_DISPLAY=slash-test-none", "XDG_RUNTIME_DIR=/tmp"},
       "slash: cannot open the Wayland display \"slash-test-none\": there is no "
       "/tmp/slash-test-none\n"},
      {{"DISPLAY", "WAYLAND_DISPLAY", "SLASH_BACKEND=wayland", "XDG_RUNTIME_DIR"},
       "slash: cannot open the Wayland display \"wayland-0\": XDG_RUNTIME_DIR is not set\n"},
      {{"SLASH_BACKEND=gl"},
       "slash: unknown back end \"gl\" in SLASH_BACKEND (wayland, x11 or terminal)\n"},
  };
  for (const auto& c : cases) {
    const auto start = std::chrono::steady_clock::now();
    const auto result = RunProcess({SLASH_PATH, "30", "blue"}, c.env);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(result.status, kStatusNoDisplay) << c.message;
    EXPECT_EQ(result.err, c.message);
  }
}

TEST(SlashFaults, OverflowingCountReportsTheErrorWithoutShowingTheWindow) {
  const TestDisplay display(320, 240, false);
  ASSERT_TRUE(display.ok());
  const auto result = RunProcess({SLASH_PATH, "99999999999", "red"}, display.env());
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err.rfind("slash: run-time error: Overflow", 0), 0u) << result.err;
}

TEST(SlashFaults, LosingTheDisplayMidRunEndsTheProgram) {
  TestDisplay display(320, 240, false);
  ASSERT_TRUE(display.ok());
  ChildProcess slash({SLASH_PATH, "99", "red"}, display.env());
  Sleep(2000);  // placing lines
  ASSERT_TRUE(slash.Running());
  display.Kill();
  ASSERT_TRUE(slash.WaitFor(2000)) << "still running two seconds after the display died";
  EXPECT_EQ(slash.status(), kStatusDisplayLost);
  EXPECT_EQ(slash.TakeErr(), "slash: lost the connection to the display\n");
}

TEST(SlashFaults, StopSignalsEndTheRunAtOnceWithTheirStatus) {
  const TestDisplay display(320, 240, false);
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
  const TestDisplay display(320, 240, true);
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
  const TestDisplay display(320, 240, false);
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

// With any standard descriptor closed, the display connection must not land
// on it: an error line written into it would hang the program for ever.
TEST(SlashFaults, ClosedStandardDescriptorsNeitherHangNorLoseTheStatus) {
  const TestDisplay display(320, 240, false);
  ASSERT_TRUE(display.ok());
  const char* const closings[] = {"<&-",      ">&-",      "2>&-",        "<&- >&-",
                                  "<&- 2>&-", ">&- 2>&-", "<&- >&- 2>&-"};
  const struct {
    const char* words;
    int status;
  } runs[] = {{"2147483648 red", 1}, {"1e309 red", 1}, {"-8 red", 0}};
  for (const char* closing : closings) {
    for (const auto& run : runs) {
      const std::string shell = std::string("exec \"$0\" ") + run.words + " " + closing;
      ChildProcess slash({"sh", "-c", shell, SLASH_PATH}, display.env());
      ASSERT_TRUE(slash.WaitFor(5000)) << shell << " hangs";
      EXPECT_EQ(slash.status(), run.status) << shell;
    }
  }
}

TEST(SlashFaults, ASignalIgnoredAtStartStaysIgnored) {
  const TestDisplay display(320, 240, false);
  ASSERT_TRUE(display.ok());
  ChildProcess slash({"sh", "-c", "trap '' INT; exec \"$0\" 30 red", SLASH_PATH}, display.env());
  Sleep(500);
  slash.Signal(SIGINT);
  EXPECT_FALSE(slash.WaitFor(500)) << "an ignored SIGINT ended the run";
  slash.Signal(SIGTERM);
  ASSERT_TRUE(slash.WaitFor(2000));
  EXPECT_EQ(slash.status(), 128 + SIGTERM);
}

TEST(SlashFaults, StopSignalsEndTheRunEvenWhileTheServerHangs) {
  TestDisplay display(320, 240, false);
  ASSERT_TRUE(display.ok());
  ChildProcess slash({SLASH_PATH, "30", "red"}, display.env());
  Sleep(1800);
  display.Pause(true);
  Sleep(300);
  slash.Signal(SIGTERM);
  const bool ended = slash.WaitFor(1000);
  display.Pause(false);
  ASSERT_TRUE(ended) << "SIGTERM did not end slash while the server was stopped";
  EXPECT_EQ(slash.status(), 128 + SIGTERM);
}

// The server can go at any moment, start-up included: the answer is always
// one line and a display status, never a library's report.
TEST(SlashFaults, LosingTheDisplayDuringStartUpIsOneLine) {
  for (const int after_ms : {0, 3, 8, 15, 30, 60}) {
    TestDisplay display(320, 240, false);
    ASSERT_TRUE(display.ok());
    ChildProcess slash({SLASH_PATH, "3", "red"}, display.env());
    Sleep(after_ms);
    display.Kill();
    ASSERT_TRUE(slash.WaitFor(3000)) << "after " << after_ms << " ms";
    const std::string err = slash.TakeErr();
    EXPECT_TRUE(slash.status() == kStatusDisplayLost || slash.status() == kStatusNoDisplay)
        << "after " << after_ms << " ms: status " << slash.status() << ", " << err;
    EXPECT_EQ(err.find('\n'), err.size() - 1) << "one line: " << err;
    EXPECT_EQ(err.rfind("slash: ", 0), 0u) << err;
  }
}

// A stopped and continued process takes its overdue tick at once and the
// next a whole tick later: two lines never land a few milliseconds apart.
// Ticks fall about 5 + 125k ms after exec; the stop ends some 25 ms before
// tick 20 is due, where a schedule that kept its grid would fire tick 19
// (overdue) and tick 20 within a few tens of milliseconds.
TEST(SlashFaults, AStallRephasesTheTicks) {
  const TestDisplay display(320, 240, false);
  ASSERT_TRUE(display.ok());
  ScreenWatch watch(display.name());
  ASSERT_TRUE(watch.ok());
  ChildProcess slash({SLASH_PATH, "20", "red"}, display.env());
  bool stalled = false;
  const auto start = std::chrono::steady_clock::now();
  watch.Record(
      [&] {
        if (!stalled &&
            std::chrono::steady_clock::now() - start > std::chrono::milliseconds(2200)) {
          slash.Signal(SIGSTOP);
          Sleep(280);
          slash.Signal(SIGCONT);
          stalled = true;
        }
        return slash.Running();
      },
      20000, 100);
  ASSERT_EQ(slash.status(), 0);
  std::vector<std::uint32_t> line_times;
  for (const auto& state : watch.states()) {
    bool red = false;
    bool other = false;
    for (const std::uint32_t pixel : state.shot.pixels) {
      red = red || pixel == 0x0000FF;
      other = other || (pixel != 0x0000FF && pixel != 0);
    }
    if (red && !other) line_times.push_back(state.server_ms);
  }
  ASSERT_GE(line_times.size(), 21u);  // 21 lines, then the flood
  std::uint32_t longest = 0;
  for (std::size_t k = 1; k < line_times.size(); ++k) {
    const std::uint32_t gap = line_times[k] - line_times[k - 1];
    EXPECT_GE(gap, 90u) << "lines " << k - 1 << " and " << k;
    longest = std::max(longest, gap);
  }
  EXPECT_GT(longest, 200u) << "the stall did not show";
}

// Every common visual gets the exact colours, on the screen DISPLAY names:
// TrueColor at any depth, an 8-bit PseudoColor root (cells allocated in its
// colour map) and a DirectColor root (an offered TrueColor visual).
TEST(SlashFaults, EveryVisualAndTheNamedScreenShowTheExactColours) {
  const struct {
    int depth;
    bool second_screen;
    std::vector<std::string> server_options;
  } cases[] = {{16, false, {}}, {24, false, {}},          {30, false, {}},
               {24, true, {}},  {8, false, {"-cc", "3"}}, {24, false, {"-cc", "5"}}};
  for (const auto& c : cases) {
    SCOPED_TRACE("depth " + std::to_string(c.depth) + (c.second_screen ? ", screen 1" : "") +
                 (c.server_options.empty() ? "" : ", class " + c.server_options[1]));
    const TestDisplay display(320, 240, false, c.depth, c.second_screen, c.server_options);
    ASSERT_TRUE(display.ok());
    const std::string name = display.name() + (c.second_screen ? ".1" : "");
    ScreenWatch watch(name);
    ASSERT_TRUE(watch.ok());
    const int width = 320;  // both screens are 320 pixels wide
    ChildProcess slash({SLASH_PATH, "0", "white"}, {"DISPLAY=" + name, "WAYLAND_DISPLAY"});
    watch.Record([&] { return slash.Running(); }, 10000, 100);
    ASSERT_EQ(slash.status(), 0) << slash.TakeErr();
    bool black = false;
    bool line = false;
    bool flood = false;
    for (const auto& state : watch.states()) {
      std::size_t white = 0;
      std::size_t dark = 0;
      for (const std::uint32_t pixel : state.shot.pixels) {
        white += pixel == 0xFFFFFF;
        dark += pixel == 0;
      }
      const std::size_t all = state.shot.pixels.size();
      black = black || dark == all;
      line = line || (white >= static_cast<std::size_t>(width) && white + dark == all && dark > 0);
      flood = flood || white == all;
    }
    EXPECT_TRUE(black && line && flood) << black << line << flood;
  }
}

}  // namespace
}  // namespace slash
