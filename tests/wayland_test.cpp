// slash on Wayland compositors: natively, watched frame by frame through
// the compositor's screen-copy protocol, and through XWayland on its X
// server back end. Headless sway is the desktop, with its borders and a
// bar; weston without a seat and cage without the viewporter run smoke
// tests.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "process_runner.h"
#include "screen_watch.h"
#include "starvation_probe.h"
#include "tick_grid.h"
#include "wayland_watch.h"

namespace slash {
namespace {

using Clock = std::chrono::steady_clock;
using testing::ChildProcess;
using testing::Environment;
using testing::OutputFrame;
using testing::RunProcess;
using testing::Screenshot;
using testing::Sleep;
using testing::WaylandWatch;

constexpr std::uint32_t kDesktop = 0x403020;  // #203040 as 0x00BBGGRR
constexpr std::uint32_t kBlue = 0xFF0000;
constexpr uid_t kNobody = 65534;
#ifdef SLASH_SANITIZED
// The leak check at exit adds tens of milliseconds to an instrumented run.
constexpr double kExitSlackMs = 100.0;
#else
constexpr double kExitSlackMs = 25.0;
#endif
// A watch that woke half a tick late may have missed a frame.
constexpr double kHalfTickMs = 62.5;

double Ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// A runtime directory of its own; root runs compositors as nobody (sway
// refuses root), anyone else as themselves.
class RuntimeDir {
 public:
  RuntimeDir() {
    char dir[] = "/tmp/slash-wayland-XXXXXX";
    if (mkdtemp(dir) == nullptr) return;
    path_ = dir;
    if (geteuid() == 0 && chown(dir, kNobody, kNobody) != 0) path_.clear();
  }
  ~RuntimeDir() {
    if (!path_.empty()) std::filesystem::remove_all(path_);
  }
  const std::string& path() const { return path_; }

  // The compositor leads a process group of its own, and neither it nor
  // what it starts (XWayland, its bar) writes to the test's output: one of
  // them outliving the test would otherwise hold CTest's pipe open.
  std::vector<std::string> AsCompositor(std::vector<std::string> argv,
                                        const std::vector<std::string>& env) const {
    std::vector<std::string> command = {"setsid", "sh", "-c", "exec >/dev/null 2>&1; exec \"$@\"",
                                        "sh"};
    if (geteuid() == 0) {
      command.insert(command.end(),
                     {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    }
    command.insert(command.end(), {"env", "-i", "PATH=/usr/bin:/bin", "HOME=" + path_,
                                   "XDG_RUNTIME_DIR=" + path_});
    command.insert(command.end(), env.begin(), env.end());
    command.insert(command.end(), argv.begin(), argv.end());
    return command;
  }

  // The name of the first Wayland socket that appears, within 5 s.
  std::string AwaitSocket(const std::string& prefix) const {
    for (int i = 0; i < 200; ++i, Sleep(25)) {
      for (const auto& entry : std::filesystem::directory_iterator(path_)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(prefix, 0) == 0 && name.find('.') == std::string::npos &&
            entry.is_socket()) {
          return name;
        }
      }
    }
    return "";
  }

 private:
  std::string path_;
};

struct SwayOptions {
  bool bar = true;  // sway's own bar along the top, and its default borders
  int outputs = 1;
  bool xwayland = false;                 // started at once, and its DISPLAY given to slash
  std::vector<std::string> scales = {};  // each output's, "1" where none is given
  int focus = 1;                         // the output the window goes on
  std::string resolution = "640x480";    // every output's
  std::string transform = "normal";      // every output's
};

// A headless sway on outputs of 640x480, drawn by its software renderer.
class Sway {
 public:
  explicit Sway(const SwayOptions& options) {
    if (dir_.path().empty()) return;
    std::ofstream config(dir_.path() + "/config");
    for (int i = 1; i <= options.outputs; ++i) {
      const std::string scale =
          static_cast<std::size_t>(i) <= options.scales.size() ? options.scales[i - 1] : "1";
      config << "output HEADLESS-" << i << " resolution " << options.resolution << " position "
             << (i - 1) * 640 << " 0 scale " << scale << " transform " << options.transform
             << " background " << (i == 1 ? "#203040" : "#405060") << " solid_color\n";
    }
    config << (options.bar ? "bar {\n position top\n status_command echo slash\n}\n"
                           : "default_border none\n");
    config << (options.xwayland ? "xwayland force\n" : "xwayland enable\n");
    // With XWayland started at once, root (the tests) may use it too.
    config << "exec sh -c '" << (options.xwayland ? "xhost +si:localuser:root && " : "")
           << (options.focus != 1
                   ? "swaymsg focus output HEADLESS-" + std::to_string(options.focus) + " && "
                   : "")
           << "echo \"$DISPLAY\" > " << dir_.path() << "/xdisplay'\n";
    config.close();
    sway_ = std::make_unique<ChildProcess>(dir_.AsCompositor(
        {"sway", "-c", dir_.path() + "/config"},
        {"WLR_BACKENDS=headless", "WLR_RENDERER=pixman", "WLR_LIBINPUT_NO_DEVICES=1",
         "WLR_HEADLESS_OUTPUTS=" + std::to_string(options.outputs)}));
    wayland_ = dir_.AwaitSocket("wayland-");
    for (int i = 0; i < 200 && x_display_.empty(); ++i, Sleep(25)) {
      std::ifstream file(dir_.path() + "/xdisplay");
      std::getline(file, x_display_);
    }
  }
  ~Sway() {
    Kill(SIGTERM);
    if (x_display_.size() > 1) {
      const std::string number = x_display_.substr(1);
      unlink(("/tmp/.X11-unix/X" + number).c_str());
      unlink(("/tmp/.X" + number + "-lock").c_str());
    }
  }

  bool ok() const { return !wayland_.empty() && !x_display_.empty() && sway_->Running(); }
  void Kill(int signal_number) {
    if (!sway_) return;
    sway_->Signal(signal_number);
    sway_->WaitFor(5000);
    // Whatever of its group is left (XWayland, say) goes with it.
    kill(-sway_->pid(), SIGKILL);
  }
  const std::string& runtime_dir() const { return dir_.path(); }
  const std::string& wayland() const { return wayland_; }
  // A Wayland session's environment: DISPLAY names its XWayland too.
  Environment SessionEnv() const {
    return {"DISPLAY=" + x_display_, "WAYLAND_DISPLAY=" + wayland_,
            "XDG_RUNTIME_DIR=" + dir_.path(), "SLASH_BACKEND"};
  }

  // Waits until the bar shows on the first output. Its first start may
  // build a font cache, slowly on a busy machine, so this waits up to 60 s.
  bool AwaitBar() const {
    for (int i = 0; i < 600; ++i, Sleep(100)) {
      WaylandWatch watch(dir_.path(), wayland_);
      if (!watch.Start()) continue;
      const auto frames = watch.Stop();
      const Screenshot& shot = frames.front().front().shot;
      if (std::count(shot.pixels.begin(), shot.pixels.end(), kDesktop) <
          static_cast<std::ptrdiff_t>(shot.pixels.size())) {
        return true;
      }
    }
    return false;
  }

 private:
  RuntimeDir dir_;
  std::unique_ptr<ChildProcess> sway_;
  std::string wayland_;
  std::string x_display_;
};

enum class Look { kDesktop, kBlack, kLines, kFlood, kOther };

Look Classify(const Screenshot& shot, std::uint32_t color) {
  std::size_t colored = 0;
  std::size_t black = 0;
  for (const std::uint32_t pixel : shot.pixels) {
    colored += pixel == color;
    black += pixel == 0;
  }
  const std::size_t all = shot.pixels.size();
  if (black == all) return Look::kBlack;
  if (colored == all) return Look::kFlood;
  if (colored + black == all && colored > 0) return Look::kLines;
  return Look::kOther;
}

// Whether `now` is `before` with one more line across the whole width:
// every changed pixel took `color`, every column holds it, and most columns
// gained it (where the new line crosses an earlier one, a column may not).
bool AddsOneFullWidthLine(const Screenshot& before, const Screenshot& now, std::uint32_t color) {
  int gained_columns = 0;
  for (int x = 0; x < now.width; ++x) {
    bool gained = false;
    bool has_color = false;
    for (int y = 0; y < now.height; ++y) {
      const std::uint32_t was = before.At(x, y);
      const std::uint32_t is = now.At(x, y);
      if (was != is && is != color) return false;
      gained = gained || was != is;
      has_color = has_color || is == color;
    }
    if (!has_color) return false;
    gained_columns += gained;
  }
  return gained_columns * 2 > now.width;
}

// Runs slash and returns when it ended, watching from before it starts.
struct WatchedRun {
  Clock::time_point started;
  Clock::time_point ended;
  int status = -1;
  std::string err;
  std::vector<std::vector<OutputFrame>> frames;
  double starved_ms = 0;                  // how late the harness woke while it watched
  std::optional<double> slash_waited_ms;  // for a processor, at a stretch
  // Why what was watched cannot be judged against `bound_ms`, if so.
  std::optional<std::string> NotJudged(double bound_ms) const {
    return testing::NotJudged(starved_ms, slash_waited_ms, bound_ms);
  }
};

WatchedRun RunWatched(const Sway& sway, const std::vector<std::string>& argv,
                      const Environment& env) {
  WatchedRun run;
  WaylandWatch watch(sway.runtime_dir(), sway.wayland());
  if (!watch.Start()) return run;
  const testing::StarvationProbe probe;
  run.started = Clock::now();
  ChildProcess slash(argv, env);
  slash.FollowProcessorWait();
  while (slash.Running() && Clock::now() - run.started < std::chrono::seconds(20)) Sleep(1);
  run.ended = Clock::now();
  Sleep(300);  // the desktop coming back
  run.frames = watch.Stop();
  run.starved_ms = probe.worst_late_ms();
  slash.WaitFor(1000);
  run.slash_waited_ms = slash.longest_processor_wait_ms();
  run.status = slash.status();
  run.err = slash.TakeErr();
  return run;
}

// The effect frame by frame, natively, on a Wayland session whose DISPLAY
// names a working XWayland too: black over the bar, each line one frame
// crossing every column, the flood, the desktop back; lines on the tick
// grid and the end on time.
TEST(OnSway, NativelyEveryFrameIsExactOverTheBarAndOnTime) {
  const Sway sway({.bar = true, .outputs = 1, .xwayland = false});
  ASSERT_TRUE(sway.ok()) << "no headless sway";
  ASSERT_TRUE(sway.AwaitBar()) << "sway's bar never showed";
  constexpr int kCount = 12;
  const WatchedRun run =
      RunWatched(sway, {SLASH_PATH, std::to_string(kCount), "blue"}, sway.SessionEnv());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  if (const auto why = run.NotJudged(15.0)) GTEST_SKIP() << *why;
  ASSERT_EQ(run.frames.size(), 1u);
  const std::vector<OutputFrame>& frames = run.frames.front();
  ASSERT_GE(frames.size(), 3u);
  const Screenshot& desktop = frames.front().shot;
  std::size_t first = 1;
  std::size_t last = frames.size();
  while (last > first && frames[last - 1].shot.pixels == desktop.pixels) --last;
  ASSERT_LT(last, frames.size()) << "the desktop did not come back";
  std::vector<const OutputFrame*> lines;
  const OutputFrame* flood = nullptr;
  for (std::size_t i = first; i < last; ++i) {
    const Look look = Classify(frames[i].shot, kBlue);
    SCOPED_TRACE("frame " + std::to_string(i));
    if (i == first) {
      ASSERT_EQ(look, Look::kBlack) << "the first frame of the window is not all black";
    } else if (i + 1 == last) {
      ASSERT_EQ(look, Look::kFlood) << "the last frame of the window is not the flood";
      flood = &frames[i];
    } else {
      ASSERT_EQ(look, Look::kLines) << "a frame that is neither black and blue nor the flood";
      const Screenshot& before = lines.empty() ? frames[first].shot : lines.back()->shot;
      EXPECT_TRUE(AddsOneFullWidthLine(before, frames[i].shot, kBlue));
      lines.push_back(&frames[i]);
    }
  }
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(kCount + 1));
  ASSERT_NE(flood, nullptr);
  // Line 1 follows the compositor's repaint of the whole output after the
  // black frame; lines 2 to 13 are checked against their own grid.
  std::vector<double> times;
  std::vector<int> slots;
  for (std::size_t k = 1; k < lines.size(); ++k) {
    times.push_back(Ms(lines[k]->at - lines[1]->at));
    slots.push_back(static_cast<int>(k - 1));
  }
  testing::ExpectOnGrid(times, slots, {.interval_ms = 125.0, .median_ms = 15.0, .bound_ms = 15.0});
  EXPECT_NEAR(Ms(flood->at - lines.back()->at), 125.0, 15.0) << "the flood";
  EXPECT_NEAR(Ms(run.ended - flood->at), 875.0, kExitSlackMs) << "the end after the flood";
}

// Through XWayland, on the X server back end: the window covers the output
// over sway's borders, title bar and bar.
TEST(OnSway, ThroughXWaylandTheWindowCoversTheOutput) {
  const Sway sway({.bar = true, .outputs = 1, .xwayland = true});
  ASSERT_TRUE(sway.ok()) << "no headless sway with XWayland";
  Environment env = sway.SessionEnv();
  env.push_back("SLASH_BACKEND=x11");
  const WatchedRun run = RunWatched(sway, {SLASH_PATH, "3", "blue"}, env);
  ASSERT_EQ(run.status, 0) << run.err;
  if (const auto why = run.NotJudged(kHalfTickMs)) GTEST_SKIP() << *why;
  std::vector<Look> seen;
  for (const OutputFrame& frame : run.frames.front()) {
    const Look look = Classify(frame.shot, kBlue);
    // The compositor may show a frame of the window on its way in or out.
    if (look != Look::kOther && (seen.empty() || seen.back() != look)) seen.push_back(look);
  }
  const std::vector<Look> expected = {Look::kBlack, Look::kLines, Look::kFlood};
  EXPECT_EQ(seen, expected);
}

// Two outputs: the effect covers exactly one, the other shows its desktop
// throughout.
TEST(OnSway, TheEffectCoversExactlyOneOfTwoOutputs) {
  const Sway sway({.bar = false, .outputs = 2, .xwayland = false});
  ASSERT_TRUE(sway.ok()) << "no headless sway";
  const WatchedRun run = RunWatched(sway, {SLASH_PATH, "3", "blue"}, sway.SessionEnv());
  ASSERT_EQ(run.status, 0) << run.err;
  ASSERT_EQ(run.frames.size(), 2u);
  if (const auto why = run.NotJudged(kHalfTickMs)) GTEST_SKIP() << *why;
  int covered = 0;
  for (const std::vector<OutputFrame>& frames : run.frames) {
    if (frames.size() == 1) continue;  // nothing on it ever changed
    ++covered;
    std::vector<Look> seen;
    for (std::size_t i = 1; i + 1 < frames.size(); ++i) {
      const Look look = Classify(frames[i].shot, kBlue);
      if (seen.empty() || seen.back() != look) seen.push_back(look);
    }
    const std::vector<Look> expected = {Look::kBlack, Look::kLines, Look::kFlood};
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(frames.back().shot.pixels, frames.front().shot.pixels) << "the desktop is not back";
  }
  EXPECT_EQ(covered, 1);
}

// At a fractional scale (960x720 at 1.5, so that the window's 640x480
// covers the whole output), and on the scale-2 one of two outputs at 1 and
// 2: one picture pixel is one screen pixel, so each line lights exactly one
// pixel in every column (the screen is wider than tall), with no hole and
// no doubling.
TEST(OnSway, EachLineIsOnePixelInEveryColumnAtFractionalAndMixedScales) {
  const SwayOptions setups[] = {
      {.bar = false, .outputs = 1, .scales = {"1.5"}, .resolution = "960x720"},
      {.bar = false, .outputs = 2, .scales = {"1", "2"}, .focus = 2},
  };
  for (const SwayOptions& options : setups) {
    SCOPED_TRACE(options.outputs == 1 ? "one output at 1.5" : "outputs at 1 and 2");
    const Sway sway(options);
    ASSERT_TRUE(sway.ok()) << "no headless sway";
    const WatchedRun run = RunWatched(sway, {SLASH_PATH, "3", "blue"}, sway.SessionEnv());
    ASSERT_EQ(run.status, 0) << run.err;
    if (const auto why = run.NotJudged(kHalfTickMs)) GTEST_SKIP() << *why;
    const std::vector<OutputFrame>& frames = run.frames[options.focus - 1];
    int lines = 0;
    for (const OutputFrame& frame : frames) {
      if (Classify(frame.shot, kBlue) != Look::kLines) continue;
      ++lines;
      for (int x = 0; x < frame.shot.width; ++x) {
        int lit = 0;
        for (int y = 0; y < frame.shot.height; ++y) lit += frame.shot.At(x, y) == kBlue;
        // Lines may cross, so later frames can light fewer than one a line.
        ASSERT_GE(lit, 1) << "a hole in column " << x << " of line frame " << lines;
        ASSERT_LE(lit, lines) << "a line thicker than a pixel in column " << x;
        if (lines == 1) {
          ASSERT_EQ(lit, 1) << "column " << x << " of the first line";
        }
      }
    }
    EXPECT_EQ(lines, 4);
  }
}

// On an output at 1.5 turned 270 degrees, black and the flood cover every
// pixel: a stretched one-colour buffer left a strip along one edge there.
// (At 1920x1080 the logical size is whole; at 640x480, sway's own rounding
// of 426.67 rows leaves one row of its backdrop, whatever a client draws.)
TEST(OnSway, BlackAndTheFloodCoverATurnedOutputAtAFractionalScale) {
  const Sway sway({.bar = false,
                   .outputs = 1,
                   .scales = {"1.5"},
                   .resolution = "1920x1080",
                   .transform = "270"});
  ASSERT_TRUE(sway.ok()) << "no headless sway";
  const WatchedRun run = RunWatched(sway, {SLASH_PATH, "3", "blue"}, sway.SessionEnv());
  ASSERT_EQ(run.status, 0) << run.err;
  if (const auto why = run.NotJudged(kHalfTickMs)) GTEST_SKIP() << *why;
  std::vector<Look> seen;
  for (const OutputFrame& frame : run.frames.front()) {
    const Look look = Classify(frame.shot, kBlue);
    if (seen.empty() || seen.back() != look) seen.push_back(look);
  }
  // The desktop, then black over all of it, lines, the whole flood, the desktop.
  const std::vector<Look> expected = {Look::kOther, Look::kBlack, Look::kLines, Look::kFlood,
                                      Look::kOther};
  EXPECT_EQ(seen, expected);
}

// The compositor killed mid-run: one line and status 4, at once.
TEST(OnSway, ACompositorThatDiesEndsTheRunWithStatus4) {
  Sway sway({.bar = false, .outputs = 1, .xwayland = false});
  ASSERT_TRUE(sway.ok()) << "no headless sway";
  ChildProcess slash({SLASH_PATH, "30", "blue"}, sway.SessionEnv());
  Sleep(2000);
  ASSERT_TRUE(slash.Running());
  sway.Kill(SIGKILL);
  ASSERT_TRUE(slash.WaitFor(1000)) << "slash went on without its compositor";
  EXPECT_EQ(slash.status(), 4);
  // With the reason the system or the library gave.
  const std::string err = slash.TakeErr();
  EXPECT_EQ(err.rfind("slash: lost the connection to the display: ", 0), 0u) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
}

// Closed by the compositor (sway's kill): the run ends at once, status 0,
// as a window manager's close does on X.
TEST(OnSway, ClosedByTheCompositorEndsAtOnceWithStatus0) {
  const Sway sway({.bar = false, .outputs = 1, .xwayland = false});
  ASSERT_TRUE(sway.ok()) << "no headless sway";
  ChildProcess slash({SLASH_PATH, "30", "blue"}, sway.SessionEnv());
  Sleep(2000);
  ASSERT_TRUE(slash.Running());
  std::string ipc;
  for (const auto& entry : std::filesystem::directory_iterator(sway.runtime_dir())) {
    if (entry.path().filename().string().rfind("sway-ipc.", 0) == 0) ipc = entry.path().string();
  }
  const auto kill = RunProcess({"swaymsg", "[app_id=slash] kill"}, {"SWAYSOCK=" + ipc});
  ASSERT_EQ(kill.status, 0) << kill.err;
  ASSERT_TRUE(slash.WaitFor(1000)) << "slash went on after its window was closed";
  EXPECT_EQ(slash.status(), 0);
  EXPECT_EQ(slash.TakeErr(), "");
}

// A socket that accepts and then stays silent, or answers garbage: the
// set-up fails in one line with status 3 within its bound, never a crash.
TEST(WaylandFaults, SilenceOrGarbageOnTheSocketIsStatus3InOneLine) {
  for (const bool garbage : {false, true}) {
    SCOPED_TRACE(garbage ? "garbage" : "silence");
    const RuntimeDir dir;
    ASSERT_FALSE(dir.path().empty());
    const std::string path = dir.path() + "/wayland-fake";
    const int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 4), 0);
    std::thread server([listener, garbage] {
      // The choice's probe connects first, then the back end.
      for (int i = 0; i < 2; ++i) {
        const int client = accept(listener, nullptr, nullptr);
        if (client < 0) return;
        if (garbage && i == 1) {
          std::string junk(4096, '\0');
          for (std::size_t j = 0; j < junk.size(); ++j) junk[j] = static_cast<char>(j * 37 + 11);
          (void)!write(client, junk.data(), junk.size());
        }
        if (i == 1) {  // held until slash lets go
          char byte;
          while (read(client, &byte, 1) > 0) {
          }
        }
        close(client);
      }
    });
    const auto start = Clock::now();
    const auto result =
        RunProcess({SLASH_PATH, "3", "blue"}, {"DISPLAY", "WAYLAND_DISPLAY=wayland-fake",
                                               "XDG_RUNTIME_DIR=" + dir.path(), "SLASH_BACKEND"});
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(6500));
    shutdown(listener, SHUT_RDWR);
    close(listener);
    server.join();
    EXPECT_EQ(result.status, 3) << result.err;
    EXPECT_EQ(result.err.rfind("slash: ", 0), 0u) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
  }
}

// Other compositors: weston's headless back end with no seat at all, and
// cage, a kiosk compositor that offers no viewporter. The run completes.
TEST(OnOtherCompositors, AHeadlessRunEndsNormally) {
  struct Compositor {
    const char* name;
    std::vector<std::string> argv;
    std::vector<std::string> env;
  };
  const Compositor compositors[] = {
      {"weston",
       {"weston", "--backend=headless-backend.so", "--socket=wayland-0", "--idle-time=0",
        "--width=640", "--height=480"},
       {}},
      {"cage",
       {"cage", "--", "sleep", "60"},
       {"WLR_BACKENDS=headless", "WLR_RENDERER=pixman", "WLR_LIBINPUT_NO_DEVICES=1"}},
  };
  for (const Compositor& compositor : compositors) {
    SCOPED_TRACE(compositor.name);
    const RuntimeDir dir;
    ASSERT_FALSE(dir.path().empty());
    ChildProcess server(dir.AsCompositor(compositor.argv, compositor.env));
    ASSERT_FALSE(dir.AwaitSocket("wayland-0").empty()) << "no headless " << compositor.name;
    const auto start = Clock::now();
    const auto result = RunProcess(
        {SLASH_PATH, "3", "blue"},
        {"DISPLAY", "WAYLAND_DISPLAY=wayland-0", "XDG_RUNTIME_DIR=" + dir.path(), "SLASH_BACKEND"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    // 1.5 s, four lines and the flood 125 ms apart, 875 ms after it.
    EXPECT_GT(Clock::now() - start, std::chrono::milliseconds(2900));
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(4500));
    server.Signal(SIGTERM);
    server.WaitFor(5000);
    kill(-server.pid(), SIGKILL);
  }
}

}  // namespace
}  // namespace slash
