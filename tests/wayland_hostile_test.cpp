// slash against a compositor of our own that announces unusual or absurd
// things: a fractional scale, no viewporter, sizes no picture can have,
// bursts of configures and a compositor that stops reading, protocol
// errors, pings and a pointer. Every run must end with its status and at
// most one line, on time, in little memory. These prove the wiring; the
// size arithmetic for every other announcement is unit-tested in
// wayland_arithmetic_test.cpp.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "process_runner.h"
#include "runtime/exit_status.h"
#include "starvation_probe.h"
#include "test_compositor.h"

namespace slash {
namespace {

using Clock = std::chrono::steady_clock;
using testing::ChildProcess;
using testing::CompositorRecord;
using testing::CompositorScript;
using testing::Size;
using testing::TestCompositor;

constexpr std::uint32_t kXrgb8888 = 1;         // wl_shm's own number
constexpr std::uint32_t kRgb565 = 0x36314752;  // wl_shm's fourcc "RG16"
constexpr long kMemoryLimitKib = 64 * 1024;

struct HostileCase {
  const char* name;
  CompositorScript script;
  int status;
  const char* error;  // what the one line holds, "" for none
  // The run's end after its start, in ms: "3 blue" is due at 3 s.
  double earliest_ms;
  double latest_ms;
  std::function<void(const CompositorRecord&)> check;
};

void PrintTo(const HostileCase& test, std::ostream* out) {
  *out << test.name;
}

// Black and the flood are stretched 2x2 buffers; every picture of lines
// between them has this size.
std::function<void(const CompositorRecord&)> PicturesAre(Size size, Size destination) {
  return [=](const CompositorRecord& record) {
    ASSERT_GT(record.buffers.size(), 2u);
    EXPECT_EQ(record.buffers.front(), (Size{2, 2}));
    EXPECT_EQ(record.buffers.back(), (Size{2, 2}));
    int pictures = 0;
    for (const Size& buffer : record.buffers) {
      if (buffer == Size{2, 2}) continue;
      EXPECT_EQ(buffer.width, size.width);
      EXPECT_EQ(buffer.height, size.height);
      ++pictures;
    }
    EXPECT_EQ(pictures, 4) << "one picture a line";
    EXPECT_EQ(record.destination, destination);
  };
}

const HostileCase kCases[] = {
    {"FractionalScaleOf1.5",
     {.mode = {960, 540}, .scale = 2, .configure = {640, 360}, .fractional_scale = 180},
     0,
     "",
     2950,
     4000,
     PicturesAre({960, 540}, {640, 360})},
    {"NoViewporterAtScale2",
     {.mode = {640, 480}, .scale = 2, .configure = {320, 240}, .viewporter = false},
     0,
     "",
     2950,
     4000,
     [](const CompositorRecord& record) {
       for (const Size& size : record.buffers) EXPECT_EQ(size, (Size{640, 480}));
       EXPECT_EQ(record.buffer_scale, 2);
     }},
    {"RGB565PicturesWhenOffered",
     {.mode = {640, 480}},
     0,
     "",
     2950,
     4000,
     [](const CompositorRecord& record) {
       ASSERT_GT(record.formats.size(), 1u);
       EXPECT_EQ(record.formats.back(), kXrgb8888) << "the flood is a one-colour XRGB8888 buffer";
       EXPECT_EQ(record.formats[1], kRgb565);
     }},
    {"XRGBPicturesOtherwise",
     {.mode = {640, 480}, .rgb565 = false},
     0,
     "",
     2950,
     4000,
     [](const CompositorRecord& record) {
       for (const std::uint32_t format : record.formats) EXPECT_EQ(format, kXrgb8888);
     }},
    {"AnOutputAtWlShmsLimit32768x16383",
     {.mode = {32768, 16383}, .rgb565 = false},
     3,
     "32768x16383",
     0,
     2000,
     nullptr},
    {"AResizeTo65535x65535IsKeptToTheScreen",
     {.mode = {640, 480}, .resize_to = {65535, 65535}},
     0,
     "",
     2950,
     4000,
     [](const CompositorRecord& record) {
       for (const Size& size : record.buffers) EXPECT_LE(size.width * size.height, 640 * 480);
     }},
    {"ClosedBeforeTheFirstConfigure",
     {.close_before_configure = true},
     0,
     "",
     0,
     2000,
     [](const CompositorRecord& record) { EXPECT_EQ(record.attaches, 0); }},
    {"AScaleOf1_120On50x50",
     {.mode = {50, 50}, .configure = {50, 50}, .fractional_scale = 1},
     0,
     "",
     2950,
     4000,
     [](const CompositorRecord& record) {
       EXPECT_EQ(record.buffers.at(1), (Size{1, 1}));
     }},
    {"NoFormatSlashCanDrawIn",
     {.only_formats = {0}},
     3,
     "neither XRGB8888 nor RGB565 (it offers ARGB8888)",
     0,
     2000,
     nullptr},
    {"AMalformedEventMidRun",
     {.mode = {640, 480}, .malformed_at_commit = 3},
     4,
     "lost the connection to the display: interface 'wl_surface' has no event 99",
     1500,
     2500,
     nullptr},
    {"ABurstOf1000ConfiguresThenNothingReadFor1s",
     {.mode = {640, 480}, .configure = {640, 480}, .burst = 1000, .stall_ms = 1000},
     0,
     "",
     2950,
     4000,
     PicturesAre({640, 480}, {640, 480})},
    {"AProtocolErrorMidRun",
     {.mode = {640, 480}, .error_at_commit = 3},
     4,
     "protocol error 0 on wl_surface: the test refuses commit 3",
     1500,
     2500,
     nullptr},
    {"PingsAnsweredAtOnce",
     {.mode = {640, 480}, .ping = true},
     0,
     "",
     2950,
     4000,
     [](const CompositorRecord& record) {
       EXPECT_GE(record.pings, 10);
       EXPECT_GE(record.pongs, record.pings - 1);
       EXPECT_LT(record.slowest_pong_ms, 50.0);
     }},
    {"APointerIsHidden",
     {.mode = {640, 480}, .pointer = true},
     0,
     "",
     2950,
     4000,
     [](const CompositorRecord& record) { EXPECT_TRUE(record.cursor_hidden); }},
};

class HostileCompositor : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileCompositor, EndsWithItsStatusOnTimeInLittleMemory) {
  const HostileCase& test = GetParam();
  TestCompositor compositor(test.script);
  ASSERT_TRUE(compositor.ok());
  const auto start = Clock::now();
  ChildProcess slash(
      {SLASH_PATH, "3", "blue"},
      {"DISPLAY", "SLASH_BACKEND", "WAYLAND_DISPLAY=" + std::string(compositor.display()),
       "XDG_RUNTIME_DIR=" + compositor.runtime_dir()});
  const bool ended = slash.WaitFor(10000);
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  const CompositorRecord record = compositor.Stop();
  ASSERT_TRUE(ended) << "still running after 10 s";
  const std::string err = slash.TakeErr();
  EXPECT_EQ(slash.status(), test.status) << err;
  if (*test.error == '\0') {
    EXPECT_EQ(err, "");
  } else {
    EXPECT_EQ(err.rfind("slash: ", 0), 0u) << err;
    EXPECT_NE(err.find(test.error), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  }
  EXPECT_GE(ms, test.earliest_ms);
  EXPECT_LE(ms, test.latest_ms);
  EXPECT_LT(slash.peak_rss_kib(), kMemoryLimitKib);
  if (test.check) test.check(record);
}

// A configure far larger than the output costs what the output costs: the
// pictures are kept to the screen, so memory and the time to draw a line
// follow the screen, not what the compositor announced.
TEST(HostileCompositorSizes, AConfigureLargerThanTheOutputCostsWhatTheOutputCosts) {
  struct Run {
    int status = -1;
    long rss_kib = 0;
    double ms = 0;
  };
  const auto run = [](const CompositorScript& script) {
    TestCompositor compositor(script);
    Run result;
    if (!compositor.ok()) return result;
    const auto start = Clock::now();
    ChildProcess slash(
        {SLASH_PATH, "3", "blue"},
        {"DISPLAY", "SLASH_BACKEND", "WAYLAND_DISPLAY=" + std::string(compositor.display()),
         "XDG_RUNTIME_DIR=" + compositor.runtime_dir()});
    if (!slash.WaitFor(10000)) return result;
    result.ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    result.status = slash.status();
    result.rss_kib = slash.peak_rss_kib();
    return result;
  };
  const testing::StarvationProbe probe;
  const Run own = run({.mode = {1024, 768}});
  const Run larger = run({.mode = {1024, 768}, .configure = {16384, 16384}});
  ASSERT_EQ(own.status, 0);
  ASSERT_EQ(larger.status, 0);
  EXPECT_LE(larger.rss_kib, own.rss_kib + 2048) << "at the output's own size: " << own.rss_kib;
  SLASH_SKIP_IF_STARVED(probe, 25.0);
  EXPECT_LE(larger.ms, own.ms + 50.0) << "the end, against the same run at the output's size";
}

// A compositor whose socket takes no more connections (its backlog full)
// is not a display to wait for: with no back end named, the choice's probe
// gives up at once and the set-up's deadline ends the run.
TEST(HostileCompositorSizes, ASocketWhoseBacklogIsFullEndsTheRunWithStatus3) {
  char dir[] = "/tmp/slash-backlog-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string path = std::string(dir) + "/wayland-full";
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  const int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 0), 0);
  std::vector<int> waiting;  // connections never accepted, until one no longer gets in
  for (int i = 0; i < 64; ++i) {
    const int peer = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    waiting.push_back(peer);
    if (connect(peer, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) break;
  }
  const auto start = Clock::now();
  ChildProcess slash({SLASH_PATH, "3", "blue"},
                     {"DISPLAY", "SLASH_BACKEND", "WAYLAND_DISPLAY=wayland-full",
                      std::string("XDG_RUNTIME_DIR=") + dir});
  const bool ended = slash.WaitFor(8000);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  for (const int peer : waiting) close(peer);
  close(listener);
  std::filesystem::remove_all(dir);
  ASSERT_TRUE(ended) << "still waiting after 8 s";
  EXPECT_EQ(slash.status(), kStatusNoDisplay);
  const std::string err = slash.TakeErr();
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  EXPECT_LT(seconds, 6.0);
}

INSTANTIATE_TEST_SUITE_P(Wayland, HostileCompositor, ::testing::ValuesIn(kCases),
                         [](const auto& info) {
                           std::string name = info.param.name;
                           std::replace(name.begin(), name.end(), '.', '_');
                           return name;
                         });

}  // namespace
}  // namespace slash
