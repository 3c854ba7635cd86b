// --help, --version, the frame writer and the install, through the built
// programs as a user would meet them.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "process_runner.h"

namespace slash {
namespace {

using testing::RunProcess;
namespace fs = std::filesystem;

const std::string kVersionText =
    "15.0.0.4\n\xE7\x94\xBB\xE9\x9D\xA2\xE3\x82\xA8\xE3\x83\x95\xE3\x82"
    "\xA7\xE3\x82\xAF\xE3\x83\x88(\xE6\x96\xAC\xE6\x92\x83)\n";

TEST(ProgramInfo, HelpAndVersionNeedNoDisplay) {
  for (const std::string program : {SLASH_PATH, SLASH_TRACE_PATH}) {
    const std::string name = fs::path(program).filename().string();
    const auto version = RunProcess({program, "--version"}, {"DISPLAY", "WAYLAND_DISPLAY"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, name + " " + kVersionText);
    const auto help = RunProcess({program, "--help"}, {"DISPLAY", "WAYLAND_DISPLAY"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: " + name, 0), 0u) << help.out;
    EXPECT_TRUE(help.err.empty());
  }
  const auto help = RunProcess({SLASH_PATH, "--help"});
  for (const char* topic :
       {"red, yellow, blue, green, white", "125 ms", "DISPLAY", "130, 131, 143", "terminal",
        "13 lines", "at most 100", "SLASH_BACKEND", "man slash", "Ctrl+C"}) {
    EXPECT_NE(help.out.find(topic), std::string::npos) << topic;
  }
}

// Text that cannot be written (a full disk) is an error of one line and
// status 2, not a silent success.
TEST(ProgramInfo, HelpOrVersionThatCannotBeWrittenIsAnError) {
  for (const std::string program : {SLASH_PATH, SLASH_TRACE_PATH}) {
    const std::string name = fs::path(program).filename().string();
    for (const char* option : {"--help", "--version"}) {
      const auto result = RunProcess({"sh", "-c", "\"$0\" \"$1\" > /dev/full", program, option});
      EXPECT_EQ(result.status, 2) << name << " " << option;
      EXPECT_EQ(result.err.rfind(name + ": ", 0), 0u) << result.err;
      EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
    }
  }
}

TEST(ProgramInfo, HelpAndVersionCountOnlyAsTheWholeCommandLine) {
  // After a word or "--" they are the effect's command line, here traced;
  // in front of words they are options that do not take any: a usage error.
  const struct {
    std::vector<std::string> words;
    int status;
  } cases[] = {{{"3", "--version"}, 0}, {{"--", "--help"}, 0}, {{"--help", "blue"}, 2}};
  for (const auto& c : cases) {
    std::vector<std::string> argv = {SLASH_TRACE_PATH};
    argv.insert(argv.end(), c.words.begin(), c.words.end());
    const auto result = RunProcess(argv);
    EXPECT_EQ(result.status, c.status) << c.words[0];
    EXPECT_EQ(result.out.rfind("{\"tick\":0,\"phase\":\"load\"", 0) == 0, c.status == 0)
        << c.words[0];
  }
}

// The RGB of one pixel of a PNG, read back by ImageMagick.
std::string PixelOf(const fs::path& png, int x, int y) {
  const auto result = RunProcess({"convert", png.string(), "-format",
                                  "%[fx:int(255*p{" + std::to_string(x) + "," + std::to_string(y) +
                                      "}.r)],%[fx:int(255*p{" + std::to_string(x) + "," +
                                      std::to_string(y) + "}.g)],%[fx:int(255*p{" +
                                      std::to_string(x) + "," + std::to_string(y) + "}.b)]",
                                  "info:"});
  return result.out;
}

TEST(FrameWriter, WritesOneDecodablePngPerStepAsTheWindowDraws) {
  const fs::path dir = fs::temp_directory_path() / ("slash-frames-" + std::to_string(getpid()));
  fs::remove_all(dir);
  const auto result =
      RunProcess({SLASH_TRACE_PATH, "--screen", "64x48", "--frames", dir.string(), "0", "green"});
  ASSERT_EQ(result.status, 0) << result.err;
  // Load, 12 waits, one line, the flood, six holds, the end: 22 frames.
  std::size_t frames = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir)) ++frames;
  EXPECT_EQ(frames, 22u);
  for (const char* name : {"frame-0000.png", "frame-0013.png", "frame-0021.png"}) {
    const auto size = RunProcess({"identify", "-format", "%w %h %m", (dir / name).string()});
    EXPECT_EQ(size.out, "64 48 PNG") << name;
  }
  EXPECT_EQ(PixelOf(dir / "frame-0012.png", 0, 0), "0,0,0");
  // Tick 13 placed line 0: the line covers the first and last column.
  int green_at_left = 0;
  for (int y = 0; y < 48; ++y) green_at_left += PixelOf(dir / "frame-0013.png", 0, y) == "0,255,0";
  EXPECT_EQ(green_at_left, 1);
  for (int y = 0; y < 48; y += 7) {
    EXPECT_EQ(PixelOf(dir / "frame-0014.png", 63, y), "0,255,0") << "the flood at row " << y;
  }
  // A second run would mix its frames with these: refused, nothing written.
  const auto again = RunProcess({SLASH_TRACE_PATH, "--frames", dir.string(), "5", "red"});
  EXPECT_EQ(again.status, 2);
  EXPECT_NE(again.err.find("already holds frames"), std::string::npos) << again.err;
  EXPECT_TRUE(again.out.empty());
  fs::remove_all(dir);
}

TEST(FrameWriter, AFolderThatCannotBeMadeIsAUsageErrorOfOneLine) {
  const auto result = RunProcess({SLASH_TRACE_PATH, "--frames", "/proc/no-such-folder", "3"});
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err.rfind("slash-trace: cannot create /proc/no-such-folder", 0), 0u)
      << result.err;
  EXPECT_EQ(result.err.find('\n'), result.err.size() - 1);
}

TEST(Install, PutsTheProgramsAndTheManualPageUnderThePrefixAndTakesThemAway) {
  const fs::path prefix = fs::temp_directory_path() / ("slash-install-" + std::to_string(getpid()));
  fs::remove_all(prefix);
  // Something of the user's already there, which the uninstall must leave.
  fs::create_directories(prefix / "bin");
  std::ofstream(prefix / "bin/theirs") << "#!/bin/sh\n";
  const auto install =
      RunProcess({"cmake", "--install", SLASH_BUILD_DIR, "--prefix", prefix.string()});
  ASSERT_EQ(install.status, 0) << install.err;
  for (const char* file : {"bin/slash", "bin/slash-trace", "share/man/man1/slash.1.gz",
                           "share/man/man1/slash-trace.1.gz", "share/doc/slash/copyright",
                           "share/doc/slash/changelog.gz"}) {
    EXPECT_TRUE(fs::exists(prefix / file)) << file;
  }
  const auto version = RunProcess({(prefix / "bin/slash").string(), "--version"});
  EXPECT_EQ(version.out, "slash " + kVersionText);
  const auto man = RunProcess({"man", "-l", (prefix / "share/man/man1/slash.1.gz").string()},
                              {"MANPAGER=cat", "MANWIDTH=80"});
  if (man.status != 127) {  // man itself may not be installed
    EXPECT_NE(man.out.find("full-screen"), std::string::npos) << man.err;
  }
  const auto uninstall = RunProcess({"cmake", "-DPREFIX=" + prefix.string(), "-P",
                                     std::string(SLASH_BUILD_DIR) + "/uninstall.cmake"});
  EXPECT_EQ(uninstall.status, 0) << uninstall.err;
  std::vector<std::string> left;
  for (const auto& entry : fs::recursive_directory_iterator(prefix)) {
    if (!entry.is_directory()) left.push_back(fs::relative(entry.path(), prefix).string());
  }
  EXPECT_EQ(left, std::vector<std::string>{"bin/theirs"});
  EXPECT_FALSE(fs::exists(prefix / "share/doc/slash"));
  fs::remove_all(prefix);
}

}  // namespace
}  // namespace slash
