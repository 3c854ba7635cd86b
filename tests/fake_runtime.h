#pragma once

#include <string>
#include <vector>

#include "runtime/runtime_services.h"

namespace slash::testing {

// Runtime services with a fixed command line and screen and a scripted
// sequence of draws. It logs each reseed ("R") and draw ("D").
class FakeRuntime : public RuntimeServices {
 public:
  FakeRuntime(std::string command_line, ScreenSize screen)
      : command_line_(std::move(command_line)), screen_(screen) {}

  std::string CommandLine() const override { return command_line_; }
  ScreenSize PrimaryScreenSize() override { return screen_; }
  void ReseedRandom() override { calls += "R"; }
  float DrawRandom() override {
    calls += "D";
    const float r = draws.empty() ? 0.5f : draws[next_draw_ % draws.size()];
    ++next_draw_;
    return r;
  }
  void EndProgram() override { ++end_calls; }
  bool Ended() const override { return end_calls > 0; }

  std::vector<float> draws;
  std::string calls;
  int end_calls = 0;

 private:
  std::string command_line_;
  ScreenSize screen_;
  std::size_t next_draw_ = 0;
};

}  // namespace slash::testing
