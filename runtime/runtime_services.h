#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "runtime/clock_random.h"

namespace slash {

// A size in the window's geometry unit (pixels on this platform).
struct ScreenSize {
  std::int32_t width = 0;
  std::int32_t height = 0;
  bool operator==(const ScreenSize&) const = default;
};

// What the effect needs from the platform beyond its window: the command
// line, the primary screen, random numbers and the end of the program.
class RuntimeServices {
 public:
  virtual ~RuntimeServices() = default;

  // The argument text without the program path; may be empty.
  virtual std::string CommandLine() const = 0;
  // The primary screen's size. Raises the property failure if it cannot be read.
  virtual ScreenSize PrimaryScreenSize() = 0;
  virtual void ReseedRandom() = 0;
  // The next random value, 0 <= r < 1.
  virtual float DrawRandom() = 0;
  // Ends the program: the caller returns at once and the host stops
  // delivering ticks.
  virtual void EndProgram() = 0;
};

// The arguments after the program path, joined with single spaces.
std::string JoinArguments(const std::vector<std::string>& arguments);

// The services of one process: a fixed command line, a screen source that the
// host supplies, and a clock-seeded generator.
class ProcessRuntime : public RuntimeServices {
 public:
  using ScreenSource = std::function<ScreenSize()>;

  ProcessRuntime(std::string command_line, ScreenSource screen,
                 NanosecondClock clock = SystemClockNanoseconds);

  std::string CommandLine() const override { return command_line_; }
  ScreenSize PrimaryScreenSize() override { return screen_(); }
  void ReseedRandom() override { random_.Reseed(); }
  float DrawRandom() override { return random_.Draw(); }
  void EndProgram() override { ended_ = true; }

  bool Ended() const { return ended_; }

 private:
  std::string command_line_;
  ScreenSource screen_;
  ClockRandom random_;
  bool ended_ = false;
};

}  // namespace slash
