// slash against X servers that stall, stay silent, refuse, break the
// connection or change the window under it: the run ends on its schedule or
// with one line and its status, and what is drawn follows the window.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <string>
#include <thread>

#include "fake_x_server.h"
#include "runtime/exit_status.h"
#include "screen_watch.h"
#include "x_display.h"

namespace slash {
namespace {

using testing::ChildProcess;
using testing::FakeXServer;
using testing::Screenshot;
using testing::ScreenWatch;
using testing::TestDisplay;
using Clock = std::chrono::steady_clock;
using testing::Sleep;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// 100 lines end 120 ticks (15 s) after the load, whatever the server does:
// stopped, or serving another client's grab, from 1 s in until after the
// end. Requests it has not taken go with the process.
TEST(HostileServer, AStalledOrGrabbedServerDoesNotHoldUpTheEnd) {
  for (const bool grab : {false, true}) {
    SCOPED_TRACE(grab ? "grabbed" : "stopped");
    TestDisplay display(320, 240, false);
    ASSERT_TRUE(display.ok());
    ScreenWatch grabber(display.name());
    ASSERT_TRUE(grabber.ok());
    const auto start = Clock::now();
    ChildProcess slash({SLASH_PATH, "99", "red"}, display.env());
    Sleep(1000);
    if (grab) {
      grabber.GrabServer(true);
    } else {
      display.Pause(true);
    }
    const bool ended = slash.WaitFor(20000);
    const double took = SecondsSince(start);
    display.Pause(false);
    ASSERT_TRUE(ended) << "still running 21 s in";
    EXPECT_EQ(slash.status(), 0) << slash.TakeErr();
    EXPECT_GT(took, 14.9);
    EXPECT_LT(took, 15.5) << "the end came late";
  }
}

// A server that never completes the connection, or answers it with no X
// reply, or refuses it with a reason: status 3 and one line saying so.
TEST(HostileServer, ASilentGarbledOrRefusingServerIsOneLine) {
  const struct {
    FakeXServer::Behaviour behaviour;
    const char* reason;
    const char* expected;  // the line after "slash: ", or its start; %s is the display
    double within_s;
  } cases[] = {
      {FakeXServer::Behaviour::kSilent, "", "the X display \"%s\" did not answer in 5 s\n", 6.5},
      {FakeXServer::Behaviour::kGarbage, "", "", 6.5},
      {FakeXServer::Behaviour::kRefuse, "No protocol\nspecified\x01",
       "cannot open the X display \"%s\": No protocol\\nspecified\\x01\n", 2.0},
  };
  for (const auto& c : cases) {
    const FakeXServer server(c.behaviour, c.reason);
    ASSERT_TRUE(server.ok());
    SCOPED_TRACE(std::string("behaviour ") + std::to_string(static_cast<int>(c.behaviour)));
    const auto start = Clock::now();
    const auto result = testing::RunProcess({SLASH_PATH, "3", "red"},
                                            {"DISPLAY=" + server.name(), "WAYLAND_DISPLAY"});
    EXPECT_LT(SecondsSince(start), c.within_s);
    EXPECT_EQ(result.status, kStatusNoDisplay);
    std::string expected = std::string("slash: ") + c.expected;
    const auto at = expected.find("%s");
    if (at != std::string::npos) expected.replace(at, 2, server.name());
    EXPECT_EQ(result.err.rfind(expected, 0), 0u) << result.err;
    EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << "one line: " << result.err;
  }
}

// The server stops reading mid-run: the next request finds the connection
// broken. That is the lost-display status and one line, never SIGPIPE.
TEST(HostileServer, AHalfClosedConnectionIsTheLostDisplay) {
  const TestDisplay display(320, 240, false);
  ASSERT_TRUE(display.ok());
  FakeXServer proxy(FakeXServer::Behaviour::kProxy, display.name());
  ASSERT_TRUE(proxy.ok());
  ChildProcess slash({SLASH_PATH, "30", "red"}, {"DISPLAY=" + proxy.name(), "WAYLAND_DISPLAY"});
  Sleep(1800);  // placing lines
  ASSERT_TRUE(slash.Running()) << slash.TakeErr();
  proxy.StopReading();
  ASSERT_TRUE(slash.WaitFor(1000)) << "still running a second after the server stopped reading";
  EXPECT_EQ(slash.status(), kStatusDisplayLost);
  EXPECT_EQ(slash.TakeErr(), "slash: lost the connection to the display\n");
}

// Another client halves the window before the line is placed: the line
// then runs from the left edge to the right edge of the window as it is,
// on rows inside it. Three runs, since a line meant for the old size still
// crosses the new window about a third of the time.
TEST(HostileServer, TheLineFollowsAWindowResizedByAnotherClient) {
  constexpr int kWidth = 240;
  constexpr int kHeight = 180;
  constexpr std::uint32_t kBlue = 0xFF0000;
  const TestDisplay display(2 * kWidth, 2 * kHeight, false);
  ASSERT_TRUE(display.ok());
  for (int run = 0; run < 3; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    ScreenWatch watch(display.name());
    ASSERT_TRUE(watch.ok());
    ChildProcess slash({SLASH_PATH, "0", "blue"}, display.env());
    std::string id;
    for (int i = 0; i < 100 && id.empty(); ++i, Sleep(10)) {
      id = display.Query({"xdotool", "search", "--name", "^slash$"});
    }
    ASSERT_FALSE(id.empty());
    display.Query({"xdotool", "windowsize", id.substr(0, id.find('\n')), std::to_string(kWidth),
                   std::to_string(kHeight)});
    watch.Record([&] { return slash.Running(); }, 10000, 100);
    ASSERT_EQ(slash.status(), 0);
    const Screenshot* line = nullptr;
    for (const auto& state : watch.states()) {
      std::size_t blue = 0;
      for (const std::uint32_t pixel : state.shot.pixels) blue += pixel == kBlue;
      if (blue > 0 && blue < static_cast<std::size_t>(kWidth * kHeight)) line = &state.shot;
      if (line != nullptr) break;
    }
    ASSERT_NE(line, nullptr) << "no line was seen";
    int missed_columns = 0;
    int outside = 0;
    for (int x = 0; x < line->width; ++x) {
      int in_column = 0;
      for (int y = 0; y < line->height; ++y) {
        if (line->At(x, y) != kBlue) continue;
        ++in_column;
        outside += x >= kWidth || y >= kHeight;
      }
      missed_columns += x < kWidth && in_column == 0;
    }
    EXPECT_EQ(missed_columns, 0) << "columns of the window the line misses";
    EXPECT_EQ(outside, 0) << "line pixels outside the window";
  }
}

}  // namespace
}  // namespace slash
