// slash on a terminal: in a real one (tmux, its panes captured cell by
// cell with their colours) and on a pseudo-terminal whose reader is slow or
// stops, where it must still end on time and give the terminal back.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "process_runner.h"
#include "starvation_probe.h"

namespace slash {
namespace {

using Clock = std::chrono::steady_clock;
using testing::RunProcess;
using testing::Sleep;

constexpr double kTickMs = 125.0;
#ifdef SLASH_SANITIZED
constexpr double kEndSlackMs = 100.0;  // the leak check at exit
#else
constexpr double kEndSlackMs = 50.0;
#endif

// The end of `count` lines, in ticks after the load: 12 ticks of wait, a
// line a tick, the flood, and 7 ticks of it shown.
double EndMs(int count) {
  return (21 + count) * kTickMs;
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// One cell of a captured pane: whether its upper and lower pixels are lit,
// and the colours it was written in ("" for the terminal's default).
struct Cell {
  bool upper = false;
  bool lower = false;
  std::string fg;
  std::string bg;
};
using Pane = std::vector<std::vector<Cell>>;

// A pane as `capture-pane -e` prints it: text with SGR sequences.
Pane ParsePane(const std::string& text) {
  Pane pane(1);
  std::string fg;
  std::string bg;
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] == '\n') {
      pane.emplace_back();
      ++i;
    } else if (text.compare(i, 2, "\x1b[") == 0) {
      const std::size_t end = text.find('m', i);
      std::vector<std::string> codes;
      std::stringstream params(text.substr(i + 2, end - i - 2));
      for (std::string code; std::getline(params, code, ';');) codes.push_back(code);
      if (codes.empty()) codes.push_back("0");
      for (std::size_t k = 0; k < codes.size(); ++k) {
        const int code = std::atoi(codes[k].c_str());
        if (code == 0) fg = bg = "";
        if ((code >= 30 && code <= 37) || (code >= 90 && code <= 97)) fg = codes[k];
        if ((code >= 40 && code <= 47) || (code >= 100 && code <= 107)) bg = codes[k];
        if ((code == 38 || code == 48) && k + 4 < codes.size() && codes[k + 1] == "2") {
          (code == 38 ? fg : bg) = "2;" + codes[k + 2] + ";" + codes[k + 3] + ";" + codes[k + 4];
          k += 4;
        }
      }
      i = end + 1;
    } else {
      const std::string glyph = text.compare(i, 3, "\xE2\x96\x80") == 0   ? "upper"
                                : text.compare(i, 3, "\xE2\x96\x84") == 0 ? "lower"
                                : text.compare(i, 3, "\xE2\x96\x88") == 0 ? "full"
                                                                          : "";
      pane.back().push_back(
          {glyph == "upper" || glyph == "full", glyph == "lower" || glyph == "full", fg, bg});
      i += glyph.empty() ? 1 : 3;
    }
  }
  while (!pane.empty() && pane.back().empty()) pane.pop_back();
  return pane;
}

// A tmux server of its own with one pane of `columns` x `rows` running a
// shell command in `dir`.
class TmuxPane {
 public:
  TmuxPane(int columns, int rows, const std::string& command)
      : dir_(std::filesystem::temp_directory_path() /
             ("slash-tmux-" + std::to_string(getpid()) + "-" + std::to_string(++made_))) {
    std::filesystem::create_directories(dir_);
    const auto result = Tmux({"new-session", "-d", "-x", std::to_string(columns), "-y",
                              std::to_string(rows), "cd '" + dir_.string() + "' && " + command});
    EXPECT_EQ(result.status, 0) << result.err;
  }
  ~TmuxPane() {
    Tmux({"kill-server"});
    std::filesystem::remove_all(dir_);
  }

  testing::ProcessResult Tmux(std::vector<std::string> arguments) const {
    arguments.insert(arguments.begin(),
                     {"tmux", "-S", (dir_ / "socket").string(), "-f", "/dev/null"});
    return RunProcess(arguments, {"TMUX"});
  }
  std::string Capture() const { return Tmux({"capture-pane", "-p", "-e", "-N"}).out; }
  std::string Show(const std::string& format) const {
    return Tmux({"display-message", "-p", format}).out;
  }
  std::string File(const std::string& name) const { return ReadFile(dir_ / name); }
  bool Has(const std::string& name) const { return std::filesystem::exists(dir_ / name); }

 private:
  std::string socket() const { return (dir_ / "socket").string(); }

  static inline int made_ = 0;
  std::filesystem::path dir_;
};

// The shell command that runs slash in a pane and notes what the tests
// read afterwards: its status, and the terminal's settings before and after.
std::string PaneCommand(const std::string& variables, const std::string& arguments) {
  // The pane's shell lets Ctrl+C through to slash, and lives on.
  return "trap : INT QUIT; stty -g > before; sh -c 'echo $$ > pid; exec env -u DISPLAY -u "
         "WAYLAND_DISPLAY " +
         variables + " \"" + SLASH_PATH + "\" " + arguments + " 2> err'; echo $? > status.tmp; " +
         "stty -g > after; mv status.tmp status; exec sleep 600";
}

bool WaitFor(const TmuxPane& pane, const std::string& name, int timeout_ms) {
  for (int waited = 0; waited < timeout_ms; waited += 10) {
    if (pane.Has(name)) return true;
    Sleep(10);
  }
  return false;
}

// The terminal as it was: off the alternate screen, the cursor shown, the
// settings what they were.
void ExpectGivenBack(const TmuxPane& pane) {
  EXPECT_EQ(pane.Show("#{alternate_on} #{cursor_flag}"), "0 1\n");
  EXPECT_EQ(pane.File("after"), pane.File("before"));
}

struct ColourCase {
  const char* name;
  int columns;
  int rows;
  const char* variables;
  const char* lit;  // the colour a lit cell is written in
  const char* black;
};

class TerminalColours : public ::testing::TestWithParam<ColourCase> {};

// Every settled capture is black, lines or the flood: lines are one pixel
// thick in every column and stay until the flood, which covers every cell.
TEST_P(TerminalColours, ShowsBlackThenLinesThenTheFloodAndGivesTheTerminalBack) {
  const ColourCase& c = GetParam();
  constexpr int kLines = 13;  // "12 blue" places lines 0 to 12
  TmuxPane pane(c.columns, c.rows,
                PaneCommand(std::string("LANG=C.UTF-8 ") + c.variables, "12 blue"));
  std::string previous;
  int black = 0;
  int lines = 0;
  int floods = 0;
  std::vector<int> lit_before(static_cast<std::size_t>(c.columns), 0);
  while (!pane.Has("status")) {
    const std::string capture = pane.Capture();
    // A capture equal to the one 20 ms before shows a settled screen, not
    // one the terminal is still writing.
    if (capture != previous) {
      previous = capture;
      Sleep(20);
      continue;
    }
    Sleep(20);
    const Pane cells = ParsePane(capture);
    if (pane.Has("status")) break;
    ASSERT_EQ(static_cast<int>(cells.size()), c.rows) << capture;
    int lit = 0;
    std::vector<int> per_column(static_cast<std::size_t>(c.columns), 0);
    for (const auto& row : cells) {
      ASSERT_EQ(static_cast<int>(row.size()), c.columns);
      for (std::size_t x = 0; x < row.size(); ++x) {
        const Cell& cell = row[x];
        EXPECT_EQ(cell.bg, c.black) << "every cell's ground is written black";
        if (cell.upper || cell.lower) {
          EXPECT_EQ(cell.fg, c.lit);
        }
        per_column[x] += cell.upper + cell.lower;
        lit += cell.upper + cell.lower;
      }
    }
    if (lit == 0) {
      ++black;
      EXPECT_EQ(lines + floods, 0) << "black after the lines";
    } else if (lit == 2 * c.columns * c.rows) {
      ++floods;
    } else {
      ++lines;
      EXPECT_EQ(floods, 0) << "lines after the flood";
      for (std::size_t x = 0; x < per_column.size(); ++x) {
        ASSERT_GE(per_column[x], 1) << "column " << x << " has no pixel of a line";
        ASSERT_LE(per_column[x], kLines) << "column " << x << " has more than one per line";
        ASSERT_GE(per_column[x], lit_before[x]) << "a line went away";
      }
      lit_before = per_column;
    }
  }
  ASSERT_TRUE(WaitFor(pane, "status", 2000));
  EXPECT_EQ(pane.File("status"), "0\n") << pane.File("err");
  EXPECT_GT(black, 0);
  EXPECT_GT(lines, 0);
  EXPECT_GT(floods, 0);
  ExpectGivenBack(pane);
}

INSTANTIATE_TEST_SUITE_P(
    Terminals, TerminalColours,
    ::testing::Values(ColourCase{"TrueColour100x30", 100, 30, "COLORTERM=truecolor", "2;0;0;255",
                                 "2;0;0;0"},
                      ColourCase{"SixteenColours57x19", 57, 19, "COLORTERM=", "94", "40"}),
    [](const auto& info) { return std::string(info.param.name); });

// Each way out gives the terminal back, with the status a shell expects.
TEST(TerminalWaysOut, EveryEndGivesTheTerminalBack) {
  const struct {
    const char* name;
    std::string variables;
    std::string arguments;
    int status;
    std::string end;  // how the run is ended after 2 s: keys, a signal, or nothing
  } cases[] = {
      {"Ctrl+C", "", "30 red", 130, "C-c"},
      {"SIGTERM", "", "30 red", 143, "TERM"},
      {"SIGQUIT", "", "30 red", 131, "QUIT"},
      {"TERM=dumb", "TERM=dumb", "3 red", 3, ""},
      {"a count beyond 32 bits", "", "99999999999 red", 1, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TmuxPane pane(80, 24, PaneCommand("LANG=C.UTF-8 " + c.variables, c.arguments));
    if (!c.end.empty()) {
      Sleep(2000);
      if (c.end == "C-c") {
        pane.Tmux({"send-keys", c.end});
      } else {
        const int pid = std::atoi(pane.File("pid").c_str());
        kill(pid, c.end == "TERM" ? SIGTERM : SIGQUIT);
      }
    }
    ASSERT_TRUE(WaitFor(pane, "status", 3000));
    EXPECT_EQ(pane.File("status"), std::to_string(c.status) + "\n");
    ExpectGivenBack(pane);
    const std::string err = pane.File("err");
    if (c.status == 1 || c.status == 3) {
      EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
      EXPECT_EQ(err.rfind("slash: ", 0), 0u) << err;
    }
  }
}

TEST(TerminalWaysOut, AClosedPaneEndsItAtOnce) {
  TmuxPane pane(80, 24, PaneCommand("LANG=C.UTF-8", "30 red"));
  Sleep(2000);
  const int pid = std::atoi(pane.File("pid").c_str());
  ASSERT_GT(pid, 0);
  pane.Tmux({"kill-pane"});
  const auto killed = Clock::now();
  // Gone, or a zombie no one has reaped yet.
  const auto running = [pid] {
    const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
    return !stat.empty() && stat.find(") Z ") == std::string::npos;
  };
  while (running() && Clock::now() - killed < std::chrono::seconds(1)) Sleep(5);
  EXPECT_FALSE(running()) << "still running 1 s after its terminal went";
}

// slash 30 blue on a pseudo-terminal of 100 x 30 as its controlling
// terminal, whose reader stops from 2 s to 4 s, or reads at most
// `bytes_per_100ms` every 100 ms (0: keeps up).
struct PtyRun {
  double end_ms = 0;                        // from the start to the end of the process
  std::optional<double> processor_wait_ms;  // the longest stretch slash was kept waiting
  int status = -1;
  std::string bytes;
};

PtyRun RunOnPty(const char* term, const char* colorterm, bool stop_reading,
                std::size_t bytes_per_100ms) {
  int master = -1;
  winsize size{};
  size.ws_col = 100;
  size.ws_row = 30;
  const auto start = Clock::now();
  const pid_t pid = forkpty(&master, nullptr, nullptr, &size);
  if (pid == 0) {
    setenv("TERM", term, 1);
    setenv("LANG", "C.UTF-8", 1);
    setenv("COLORTERM", colorterm, 1);
    setenv("SLASH_BACKEND", "terminal", 1);
    execl(SLASH_PATH, SLASH_PATH, "30", "blue", static_cast<char*>(nullptr));
    _exit(127);
  }
  PtyRun run;
  fcntl(master, F_SETFL, O_NONBLOCK);
  int wait_status = 0;
  double next_read_ms = 0;
  testing::ProcessorWaitFollower processor_wait;
  for (;;) {
    const double now_ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    siginfo_t ended{};
    const bool exited =
        waitid(P_PID, static_cast<id_t>(pid), &ended, WEXITED | WNOHANG | WNOWAIT) == 0 &&
        ended.si_pid == pid;
    processor_wait.Look(pid);  // before reaping
    if (exited) {
      run.end_ms = now_ms;
      run.processor_wait_ms = processor_wait.longest_ms();
      waitpid(pid, &wait_status, 0);
      break;
    }
    const bool paused = stop_reading && now_ms >= 2000 && now_ms < 4000;
    if (!paused && now_ms >= next_read_ms) {
      char buffer[2048];
      const std::size_t limit = bytes_per_100ms == 0 ? sizeof buffer : bytes_per_100ms;
      const ssize_t got = read(master, buffer, limit);
      if (got > 0) run.bytes.append(buffer, static_cast<std::size_t>(got));
      if (bytes_per_100ms != 0) next_read_ms = now_ms + 100;
    }
    Sleep(1);
  }
  // What the terminal still holds after the end.
  for (char buffer[4096];;) {
    const ssize_t got = read(master, buffer, sizeof buffer);
    if (got <= 0) break;
    run.bytes.append(buffer, static_cast<std::size_t>(got));
  }
  close(master);
  run.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
  return run;
}

TEST(SlowTerminal, AReaderThatStopsOrCrawlsDelaysNeitherTheTicksNorTheEnd) {
  const struct {
    const char* name;
    const char* term;
    const char* colorterm;
    bool stop_reading;
    std::size_t bytes_per_100ms;
  } cases[] = {{"stops for 2 s", "xterm-256color", "truecolor", true, 0},
               {"reads 2 KiB per 100 ms", "xterm-256color", "truecolor", false, 2048},
               {"keeps up, TERM=linux", "linux", "", false, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const testing::StarvationProbe probe;
    const PtyRun run = RunOnPty(c.term, c.colorterm, c.stop_reading, c.bytes_per_100ms);
    if (const auto why =
            testing::NotJudged(probe.worst_late_ms(), run.processor_wait_ms, kEndSlackMs / 2)) {
      GTEST_SKIP() << *why;
    }
    EXPECT_EQ(run.status, 0);
    EXPECT_NEAR(run.end_ms, EndMs(30), kEndSlackMs);
    // The way back, after a CAN, is the last thing the terminal is sent.
    const std::size_t way_back = run.bytes.rfind('\x18');
    ASSERT_NE(way_back, std::string::npos);
    const std::string last = run.bytes.substr(way_back);
    EXPECT_NE(last.find("\x1b[?1049l"), std::string::npos);
    EXPECT_EQ(last.find("\xE2\x96"), std::string::npos) << "cells after the way back";
    // Without COLORTERM only the 16 colours, blue as bright blue.
    const bool sixteen = std::string(c.colorterm).empty();
    EXPECT_EQ(run.bytes.find(";2;") == std::string::npos, sixteen);
    EXPECT_EQ(run.bytes.find("\x1b[94m") != std::string::npos, sixteen);
  }
}

}  // namespace
}  // namespace slash
