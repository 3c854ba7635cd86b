// slash-trace end to end: the program's whole behaviour, run as a process.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "effect/effect_params.h"
#include "json_line.h"
#include "process_runner.h"

namespace slash {
namespace {

using testing::JsonObject;
using testing::ParseJsonLines;
using testing::RunProcess;

struct Trace {
  int status;
  std::string err;
  std::vector<JsonObject> lines;
};

Trace RunTrace(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {SLASH_TRACE_PATH};
  argv.insert(argv.end(), args.begin(), args.end());
  const auto result = RunProcess(argv);
  return {result.status, result.err, ParseJsonLines(result.out)};
}

long Int(const JsonObject& object, const std::string& key) {
  return std::stol(object.at(key));
}
double Number(const JsonObject& object, const std::string& key) {
  return std::stod(object.at(key));
}

struct TraceCase {
  std::vector<std::string> words;
  int count;
  std::string color;
};

// Checks a whole run: load, the 12 waiting ticks, the placements (highest
// index first, left edge to right edge), the flood and the end tick.
void ExpectWholeRun(const TraceCase& c, int width, int height) {
  std::vector<std::string> args = {"--screen",
                                   std::to_string(width) + "x" + std::to_string(height)};
  args.insert(args.end(), c.words.begin(), c.words.end());
  const Trace trace = RunTrace(args);
  std::string name;
  for (const auto& word : c.words) name += "[" + word + "]";
  SCOPED_TRACE("command line " + name);
  ASSERT_EQ(trace.status, 0) << trace.err;
  ASSERT_FALSE(trace.lines.empty());

  const JsonObject& load = trace.lines.front();
  EXPECT_EQ(load.at("phase"), "load");
  EXPECT_EQ(Int(load, "tick"), 0);
  EXPECT_EQ(Int(load, "left"), 0);
  EXPECT_EQ(Int(load, "top"), 0);
  EXPECT_EQ(Int(load, "width"), width);
  EXPECT_EQ(Int(load, "height"), height);
  EXPECT_EQ(Int(load, "wait"), 12);
  EXPECT_EQ(Int(load, "count"), c.count);
  EXPECT_EQ(load.at("color"), c.color);
  const int lines = c.count >= 0 ? c.count + 1 : 0;
  EXPECT_EQ(Int(load, "colored"), lines);

  const int end_tick = c.count <= -8 ? 13 : 21 + c.count;
  ASSERT_EQ(static_cast<int>(trace.lines.size()), end_tick + 1);
  int next_line = c.count;
  for (int tick = 1; tick <= end_tick; ++tick) {
    const JsonObject& line = trace.lines[tick];
    SCOPED_TRACE("tick " + std::to_string(tick));
    EXPECT_EQ(Int(line, "tick"), tick);
    std::string expected = "hold";
    if (tick <= 12)
      expected = "wait";
    else if (tick == end_tick)
      expected = "end";
    else if (next_line >= 0)
      expected = "place";
    else if (next_line == -1)
      expected = "flood";
    EXPECT_EQ(line.at("phase"), expected);
    EXPECT_EQ(Int(line, "wait"), tick <= 12 ? 12 - tick : 0);
    if (expected == "place") {
      EXPECT_EQ(Int(line, "line"), next_line);
      EXPECT_EQ(Number(line, "x1"), 0.0);
      EXPECT_EQ(Number(line, "x2"), width);
      for (const char* y : {"y1", "y2"}) {
        EXPECT_GE(Number(line, y), 0.0);
        EXPECT_LT(Number(line, y), height);
      }
    }
    if (expected == "flood") {
      EXPECT_EQ(line.at("color"), c.color);
    }
    if (tick > 12 && expected != "end") --next_line;
    EXPECT_EQ(Int(line, "count"), tick <= 12 ? c.count : next_line);
  }
}

TEST(SlashTrace, EveryCommandLineRunsToItsEnd) {
  const TraceCase cases[] = {
      {{}, 12, "0x0000FF"},
      {{"30", "blue"}, 30, "0xFF0000"},
      {{"150", "green"}, 99, "0x00FF00"},
      {{"30"}, 12, "0x0000FF"},
      {{"30 "}, 30, "0x0000FF"},
      {{"blue"}, 12, "0xFF0000"},
      {{"yellow", "5"}, 0, "0x00FFFF"},
      {{"2.5", "red"}, 2, "0x0000FF"},
      {{"3.5", "red"}, 4, "0x0000FF"},
      {{"-1", "white"}, -1, "0xFFFFFF"},
      {{"-5", "red"}, -5, "0x0000FF"},
      {{"-8", "red"}, -8, "0x0000FF"},
      {{"-9", "red"}, -9, "0x0000FF"},
      {{"12", "RED"}, 12, "0x0000FF"},
      {{"12", "Blue"}, 12, "0xFF0000"},
      {{"12", "greenyellow"}, 12, "0x00FFFF"},
      {{"12", "white", "red"}, 12, "0x0000FF"},
      {{"--", "--realtime", "blue"}, 0, "0xFF0000"},
  };
  for (const TraceCase& c : cases) ExpectWholeRun(c, 1920, 1080);
}

TEST(SlashTrace, LinesSpanTheWindowOnAnyScreen) {
  const int sizes[][2] = {{1, 1}, {640, 480}, {100000, 2}, {3, 4320}};
  for (const auto& size : sizes)
    ExpectWholeRun({{"99", "green"}, 99, "0x00FF00"}, size[0], size[1]);
}

TEST(SlashTrace, TwoRunsDrawDifferentHeightsAndLinesSlant) {
  const Trace first = RunTrace({"99", "red"});
  const Trace second = RunTrace({"99", "red"});
  int slanted = 0;
  int differing = 0;
  for (std::size_t i = 13; i < 113; ++i) {
    slanted += first.lines[i].at("y1") != first.lines[i].at("y2");
    differing += first.lines[i].at("y1") != second.lines[i].at("y1");
  }
  EXPECT_GT(slanted, 90);
  EXPECT_GT(differing, 90);
}

TEST(SlashTrace, OverflowingCountEndsWithTheErrorBeforeAnyTick) {
  const Trace trace = RunTrace({"2147483648", "red"});
  EXPECT_NE(trace.status, 0);
  ASSERT_EQ(trace.lines.size(), 1u);
  EXPECT_EQ(trace.lines[0].at("phase"), "error");
  EXPECT_EQ(Int(trace.lines[0], "tick"), 0);
  EXPECT_EQ(trace.lines[0].at("message").rfind("Overflow", 0), 0u);
  EXPECT_EQ(trace.err.rfind("slash-trace: run-time error: Overflow", 0), 0u) << trace.err;
  EXPECT_EQ(trace.err.find('\n'), trace.err.size() - 1) << "one line on stderr";
}

// A bad option is a usage error that says what was wrong, never effect text.
TEST(SlashTrace, RejectsABadOptionWithTheReason) {
  const struct {
    std::vector<std::string> args;
    std::string reason;
  } cases[] = {
      {{"--frame", "/tmp/x", "20", "white"}, "unknown option \"--frame\""},
      {{"--screen=640x480"}, "unknown option \"--screen=640x480\""},
      {{"--screen"}, "--screen needs a size"},
      {{"--frames"}, "--frames needs a folder"},
      // A frame is held whole in memory: one no memory holds is refused.
      {{"--screen", "1048576x1048576", "--frames", "/tmp/slash-never-made", "1", "red"},
       "--frames draws at most 268435456 pixels a frame"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> argv = {SLASH_TRACE_PATH};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    const auto result = RunProcess(argv);
    EXPECT_EQ(result.status, 2) << c.reason;
    EXPECT_TRUE(result.out.empty());
    EXPECT_EQ(result.err.rfind("slash-trace: " + c.reason, 0), 0u) << result.err;
    EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << "one line: " << result.err;
  }
  for (const std::string screen :
       {"0x100", "100", "axb", "10x10x", "4294967297x10", "10x4294967297", "-1x10", "+5x5"}) {
    const auto result = RunProcess({SLASH_TRACE_PATH, "--screen", screen});
    EXPECT_EQ(result.status, 2) << screen;
    EXPECT_EQ(result.err.rfind("slash-trace: --screen \"" + screen + "\" is not a size", 0), 0u)
        << result.err;
  }
}

TEST(SlashTrace, OverflowRepeatsTheNumberAsWritten) {
  for (const std::string number : {"1e308", "2147483648", "-2147483649.5", "1e309"}) {
    const Trace trace = RunTrace({number, "red"});
    EXPECT_EQ(trace.status, 1);
    EXPECT_NE(trace.err.find("\"" + number + "\""), std::string::npos) << trace.err;
  }
}

// Lost output is a failure of one line, never a silent success.
TEST(SlashTrace, OutputThatCannotBeWrittenFailsWithTheReason) {
  char folder[] = "/tmp/slash-trace-test-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string frames = std::string(folder) + "/frames";
  const struct {
    const char* shell;  // $0 is slash-trace
    const char* message;
  } cases[] = {
      {"exec \"$0\" 3 red >/dev/full",
       "slash-trace: cannot write the trace: No space left on device\n"},
      {"exec \"$0\" 3 red >&-", "slash-trace: cannot write the trace: Bad file descriptor\n"},
      // A file-size limit stands in for a folder that fills up.
      {"ulimit -f 1; trap '' XFSZ; exec \"$0\" --frames \"$1\" 3 red >/dev/null",
       "File too large\n"},
  };
  for (const auto& c : cases) {
    const auto result = RunProcess({"sh", "-c", c.shell, SLASH_TRACE_PATH, frames});
    EXPECT_EQ(result.status, 2) << c.shell;
    EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << "one line: " << result.err;
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    EXPECT_EQ(result.err.rfind("slash-trace: cannot write", 0), 0u) << result.err;
  }
  // The frame cut short was removed: every frame left is a whole PNG.
  int left = 0;
  for (const auto& entry : std::filesystem::directory_iterator(frames)) {
    std::ifstream png(entry.path(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(png)),
                            std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes.substr(bytes.size() < 12 ? 0 : bytes.size() - 12, 8),
              std::string("\0\0\0\0IEND", 8))
        << entry.path();
    ++left;
  }
  EXPECT_LT(left, 34) << "the run did not stop at the frame it could not write";
  std::filesystem::remove_all(folder);
}

TEST(SlashTrace, RealtimePacesTicksAt125Milliseconds) {
  const Trace trace = RunTrace({"--realtime", "-8"});  // no space: default count 12
  ASSERT_EQ(trace.status, 0);
  ASSERT_EQ(trace.lines.size(), 34u);
  for (int tick = 1; tick <= 33; ++tick) {
    const double ms = Number(trace.lines[tick], "ms");
    EXPECT_GE(ms, tick * 125.0);
    EXPECT_LT(ms, tick * 125.0 + 60.0) << "tick " << tick;
  }
}

// Command lines from whatever program starts slash: each has a defined
// result, the effect (count, colour) or the overflow error.
TEST(SlashTrace, HostileCommandLinesHaveADefinedResult) {
  constexpr int kOverflow = 1000;  // marks the overflow error
  const std::string chunk(64 * 1024, 'x');
  std::vector<std::string> sixteen_chunks(16, chunk);  // 1 MiB in all
  sixteen_chunks.insert(sixteen_chunks.begin(), "5");
  sixteen_chunks.push_back("blue");
  const struct {
    std::vector<std::string> words;
    int count;  // or kOverflow
    std::string color;
  } cases[] = {
      {sixteen_chunks, 5, "0xFF0000"},
      {std::vector<std::string>(20000, "7"), 7, "0x0000FF"},
      {{"", "", "blue"}, 0, "0xFF0000"},  // "  blue": the first space comes first
      {{""}, 12, "0x0000FF"},
      {{"\t5", "red"}, 5, "0x0000FF"},
      {{"5\nred"}, 12, "0x0000FF"},
      {{"\x01\x02", "\x7f", "green"}, 0, "0x00FF00"},
      {{"\xff\xfe", "3", "gr\xc3"}, 0, "0x0000FF"},
      {{"\xef\xbc\x93\xef\xbc\x90", "\xef\xbd\x87\xef\xbd\x92\xef\xbd\x85\xef\xbd\x85\xef\xbd\x8e"},
       0,
       "0x00FF00"},                               // full-width "３０ ｇｒｅｅｎ"
      {{"30\xe3\x80\x80white"}, 30, "0xFFFFFF"},  // ideographic space
      {{"+7", "red"}, 7, "0x0000FF"},
      {{".5", "red"}, 0, "0x0000FF"},
      {{"1e2", "red"}, 99, "0x0000FF"},
      {{"1E+2", "red"}, 99, "0x0000FF"},
      {{"1e400", "red"}, kOverflow, ""},
      {{"-0", "red"}, 0, "0x0000FF"},
      {{"0x10", "red"}, 0, "0x0000FF"},
      {{"99.5", "red"}, 99, "0x0000FF"},
      {{"2147483647.5", "red"}, kOverflow, ""},
      {{"-2147483648.5", "red"}, -2147483647 - 1, "0x0000FF"},
      {{"12", "bl", "ue"}, 12, "0x0000FF"},  // a colour word split in two is not found
      {{std::string(100000, '9'), "red"}, kOverflow, ""},
  };
  for (const auto& c : cases) {
    const Trace trace = RunTrace(c.words);
    const std::string shown = c.words.front().substr(0, 20);
    ASSERT_FALSE(trace.lines.empty()) << shown << ": " << trace.err;
    const JsonObject& first = trace.lines.front();
    if (c.count == kOverflow) {
      EXPECT_EQ(trace.status, 1) << shown;
      EXPECT_EQ(first.at("phase"), "error") << shown;
      EXPECT_EQ(trace.lines.size(), 1u) << shown;
      continue;
    }
    ASSERT_EQ(trace.status, 0) << shown << ": " << trace.err;
    EXPECT_EQ(Int(first, "count"), c.count) << shown;
    EXPECT_EQ(first.at("color"), c.color) << shown;
    const int end_tick = c.count <= -8 ? 13 : 21 + c.count;
    EXPECT_EQ(static_cast<int>(trace.lines.size()), end_tick + 1) << shown;
    EXPECT_EQ(trace.lines.back().at("phase"), "end") << shown;
  }
}

TEST(ReadCommand, TakesAOneMebibyteCommandLine) {
  // A single argument cannot be that long on Linux, but a caller's text can.
  const std::string text = "42 " + std::string(1 << 20, 'z') + "green";
  const EffectState state = ReadCommand(text);
  EXPECT_EQ(state.ZanCount, 42);
  EXPECT_EQ(state.ZanColor, 0x00FF00u);
}

}  // namespace
}  // namespace slash
