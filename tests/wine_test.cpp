// slash.exe, the Windows build, under Wine on an Xvfb of its own, watched
// through DAMAGE: every state of the screen is seen. Wine's timing is not
// the platform's (its services start with the first program, and it
// stalls now and then), so these tests check what is drawn and in which
// order, not when.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "process_runner.h"
#include "screen_watch.h"
#include "x_display.h"

namespace slash {
namespace {

using testing::ChildProcess;
using testing::Environment;
using testing::RunProcess;
using testing::Screenshot;
using testing::ScreenState;
using testing::ScreenWatch;
using testing::TestDisplay;

constexpr std::uint32_t kBlue = 0xFF0000;  // 0x00BBGGRR

// Wine on one display: its services are stopped before and after, so that
// they start for this display's screen. The prefix is made once a run
// (SLASH_WINEPREFIX, or Wine's default).
class WineOn {
 public:
  explicit WineOn(const TestDisplay& display) : env_(display.env()) {
    const char* prefix = std::getenv("SLASH_WINEPREFIX");
    if (prefix != nullptr && *prefix != '\0') env_.push_back(std::string("WINEPREFIX=") + prefix);
    env_.insert(env_.end(),
                {"WINEDEBUG=-all", "WINEDLLOVERRIDES=mscoree,mshtml=;winemenubuilder.exe=d"});
    RunProcess({"wineserver", "-k"}, env_);
    RunProcess({"wineserver", "-w"}, env_);
  }
  ~WineOn() {
    RunProcess({"wineserver", "-k"}, env_);
    RunProcess({"wineserver", "-w"}, env_);
  }
  const Environment& env() const { return env_; }

 private:
  Environment env_;
};

// What the screen went through while `words` ran, and how it ended.
struct WatchedRun {
  std::vector<ScreenState> states;
  int status = -1;
  std::string err;
  double starved_ms = 0;  // how late the harness woke while it watched
};

WatchedRun RunWatched(const TestDisplay& display, const std::vector<std::string>& words) {
  WatchedRun run;
  const WineOn wine(display);
  ScreenWatch watch(display.name());
  if (!watch.ok()) return run;
  std::vector<std::string> argv = {"wine", SLASH_EXE};
  argv.insert(argv.end(), words.begin(), words.end());
  ChildProcess slash(argv, wine.env());
  watch.Record([&] { return slash.Running(); }, 60000, 500);
  slash.WaitFor(5000);
  run.status = slash.status();
  run.err = slash.TakeErr();
  run.states = watch.states();
  run.starved_ms = watch.starved_ms();
  return run;
}

enum class Look { kBefore, kBlack, kLines, kFlood, kOther };

// How the part of the screen from column `left` on looks.
Look Classify(const Screenshot& shot, const Screenshot& before, int left) {
  std::size_t colored = 0, black = 0, same = 0, all = 0;
  for (int y = 0; y < shot.height; ++y) {
    for (int x = left; x < shot.width; ++x, ++all) {
      colored += shot.At(x, y) == kBlue;
      black += shot.At(x, y) == 0;
      same += shot.At(x, y) == before.At(x, y);
    }
  }
  if (same == all) return Look::kBefore;
  if (black == all) return Look::kBlack;
  if (colored == all) return Look::kFlood;
  if (colored + black == all && colored > 0) return Look::kLines;
  return Look::kOther;
}

// The looks in order, each once, and the number of line states.
std::vector<Look> Sequence(const WatchedRun& run, int left, int& line_states) {
  std::vector<Look> looks;
  line_states = 0;
  const Screenshot& before = run.states.front().shot;
  for (const ScreenState& state : run.states) {
    const Look look = Classify(state.shot, before, left);
    line_states += look == Look::kLines;
    if (looks.empty() || looks.back() != look) looks.push_back(look);
  }
  return looks;
}

const std::vector<Look> kWholeEffect = {Look::kBefore, Look::kBlack, Look::kLines, Look::kFlood,
                                        Look::kBefore};

// The whole effect exactly: black first, one state a line in the exact
// colour, the flood, the desktop back, status 0. One argument holding two
// spaces reaches the program quoted, as typed: the raw text "3  blue"
// (quotes included) begins with no number, so the count is 0 (one line),
// and the colour word is still found.
TEST(UnderWine, TheWholeEffectAndTheCommandLineAsTyped) {
  const TestDisplay display(640, 480, false);
  ASSERT_TRUE(display.ok());
  const struct {
    std::vector<std::string> words;
    int lines;
  } cases[] = {{{"3", "blue"}, 4}, {{"3  blue"}, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.words.front());
    const WatchedRun run = RunWatched(display, c.words);
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_FALSE(run.states.empty());
    int line_states = 0;
    EXPECT_EQ(Sequence(run, 0, line_states), kWholeEffect);
    EXPECT_EQ(line_states, c.lines);
  }
}

// The end comes at once: on a screen with no window manager, the window is
// gone 875 ms after the flood showed, as a program that ends at the end
// tick leaves it; taking the window down first made Wine hold it for 2 s
// more.
TEST(UnderWine, TheWindowIsGone875msAfterTheFlood) {
  const TestDisplay display(640, 480, false);
  ASSERT_TRUE(display.ok());
  const WatchedRun run = RunWatched(display, {"3", "blue"});
  ASSERT_EQ(run.status, 0) << run.err;
  ASSERT_FALSE(run.states.empty());
  const Screenshot& before = run.states.front().shot;
  std::optional<std::uint32_t> flood_ms;
  std::optional<std::uint32_t> gone_ms;
  for (const ScreenState& state : run.states) {
    const Look look = Classify(state.shot, before, 0);
    if (look == Look::kFlood && !flood_ms) flood_ms = state.server_ms;
    if (look == Look::kBefore && flood_ms && !gone_ms) gone_ms = state.server_ms;
  }
  ASSERT_TRUE(flood_ms && gone_ms) << "no flood, or the desktop never came back";
  if (const auto why = testing::NotJudged(run.starved_ms, 25.0)) GTEST_SKIP() << *why;
  // Wine and the X server taking the ended process's window down add to
  // the end tick; that has been seen to vary by up to 45 ms on this machine.
  EXPECT_NEAR(static_cast<double>(*gone_ms - *flood_ms), 875.0, 50.0);
}

// On Wine's own desktop with its task bar, which gives a button to a tool
// window that has no owner, the effect adds none; a plain window of the
// probe's own adds one, so the count can be trusted.
TEST(UnderWine, NoTaskBarButtonOnWinesDesktop) {
  const TestDisplay display(640, 480, false);
  ASSERT_TRUE(display.ok());
  const WineOn wine(display);
  const auto result = RunProcess(
      {"wine", "explorer", "/desktop=shell,640x480", TASKBAR_PROBE, SLASH_EXE, "3", "blue"},
      wine.env());
  int before = -1, most = -1, own = -1;
  ASSERT_EQ(std::sscanf(result.out.c_str(), "before %d most %d own %d", &before, &most, &own), 3)
      << result.out << result.err;
  EXPECT_EQ(own, 1) << "a plain window added no button: the count means nothing";
  EXPECT_EQ(most, before) << "the effect's window had a task-bar button";
}

// Two monitors side by side, the primary on the right: the window covers
// exactly it, and the left one never changes.
TEST(UnderWine, ThePrimaryMonitorOnTheRightOfTwo) {
  if (geteuid() != 0) GTEST_SKIP() << "Xorg's dummy driver needs root";
  const TestDisplay display(TestDisplay::TwoMonitors{}, false);
  ASSERT_TRUE(display.ok()) << "no Xorg with the dummy driver";
  const WatchedRun run = RunWatched(display, {"3", "blue"});
  ASSERT_EQ(run.status, 0) << run.err;
  ASSERT_FALSE(run.states.empty());
  int line_states = 0;
  EXPECT_EQ(Sequence(run, 960, line_states), kWholeEffect);
  EXPECT_EQ(line_states, 4);
  const Screenshot& before = run.states.front().shot;
  for (const ScreenState& state : run.states) {
    for (int y = 0; y < before.height; ++y) {
      for (int x = 0; x < 960; ++x) {
        ASSERT_EQ(state.shot.At(x, y), before.At(x, y)) << "the left monitor changed at " << x;
      }
    }
  }
}

// slash-trace.exe previews what slash.exe draws: it reads the raw command
// line after its options, as slash.exe reads its own, quotes and spacing
// kept (the text "3  blue", quoted, begins with no number: one line).
TEST(UnderWine, SlashTraceReadsTheCommandLineAsSlashDoes) {
  const TestDisplay display(320, 240, false);
  ASSERT_TRUE(display.ok());
  const WineOn wine(display);
  const struct {
    std::vector<std::string> args;
    const char* load;  // what the load line holds
  } cases[] = {
      {{"3", "blue"}, "\"count\":3,\"color\":\"0xFF0000\""},
      {{"3  blue"}, "\"count\":0,\"color\":\"0xFF0000\""},
      {{"--screen", "320x200", "3  blue"}, "\"count\":0,\"color\":\"0xFF0000\""},
      {{"--", "30", "green"}, "\"count\":30,\"color\":\"0x00FF00\""},
  };
  for (const auto& c : cases) {
    std::vector<std::string> argv = {"wine", SLASH_TRACE_EXE};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    const auto result = RunProcess(argv, wine.env());
    EXPECT_EQ(result.status, 0) << result.err;
    const std::string load = result.out.substr(0, result.out.find('\n'));
    EXPECT_NE(load.find(c.load), std::string::npos) << c.args.back() << ": " << load;
  }
}

// A run-time error: one line, status 1, and nothing drawn.
TEST(UnderWine, AnOverflowIsOneLineAndStatus1) {
  const TestDisplay display(320, 240, false);
  ASSERT_TRUE(display.ok());
  const WineOn wine(display);
  const auto result = RunProcess({"wine", SLASH_EXE, "3000000000", "red"}, wine.env());
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
  EXPECT_EQ(result.err.rfind("slash: ", 0), 0u) << result.err;
}

// Started without a standard error (from the desktop, say), the same error
// is shown in a message box titled "slash"; dismissed, the program ends
// with status 1.
TEST(UnderWine, WithoutStderrTheErrorIsAMessageBox) {
  const TestDisplay display(640, 480, false);
  ASSERT_TRUE(display.ok());
  const WineOn wine(display);
  // Started as the desktop starts programs: no standard handles at all.
  ChildProcess slash({"wine", "start", "/wait", "/unix", SLASH_EXE, "3000000000", "red"},
                     wine.env());
  std::string box;
  for (int i = 0; i < 300 && box.empty() && slash.Running(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    box = display.Query({"xdotool", "search", "--name", "^slash$"});
  }
  ASSERT_FALSE(box.empty()) << "no message box appeared";
  ASSERT_TRUE(slash.Running()) << "the program ended before its message box was answered";
  const std::string id = box.substr(0, box.find('\n'));
  display.Query({"xdotool", "windowactivate", "--sync", id});
  display.Query({"xdotool", "key", "--window", id, "Return"});
  ASSERT_TRUE(slash.WaitFor(10000)) << "the message box was not dismissed";
  EXPECT_EQ(slash.status(), 1);
}

}  // namespace
}  // namespace slash
