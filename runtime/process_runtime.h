#pragma once

#include <functional>
#include <string>

#include "runtime/clock_random.h"
#include "runtime/runtime_services.h"

namespace slash {

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
  bool Ended() const override { return ended_; }

 private:
  std::string command_line_;
  ScreenSource screen_;
  ClockRandom random_;
  bool ended_ = false;
};

}  // namespace slash
