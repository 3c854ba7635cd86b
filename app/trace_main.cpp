// slash-trace: runs the effect over a recording window, with no display, and
// prints one JSON object per step on stdout.

#include <chrono>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/program_info.h"
#include "app/trace_lines.h"
#include "effect/slash_sequence.h"
#include "runtime/runtime_error.h"
#include "runtime/runtime_services.h"
#include "window/frame_writer.h"
#include "window/recording_window.h"
#include "window/tick_schedule.h"

namespace {

using slash::EffectState;
using Clock = std::chrono::steady_clock;

constexpr auto kTickInterval = std::chrono::milliseconds(125);
constexpr int kUsageStatus = 2;

struct TraceOptions {
  slash::ScreenSize screen{1920, 1080};
  bool realtime = false;
  std::optional<std::string> frames;
  std::vector<std::string> words;
};

const char* const kUsage =
    "usage: slash-trace [--screen WxH] [--realtime] [--frames DIR] [--] [WORD...]";

std::optional<slash::ScreenSize> ParseScreen(const std::string& text) {
  int width = 0;
  int height = 0;
  char tail = 0;
  if (std::sscanf(text.c_str(), "%dx%d%c", &width, &height, &tail) != 2) return std::nullopt;
  if (width <= 0 || height <= 0) return std::nullopt;
  return slash::ScreenSize{width, height};
}

// Options come first; the first word that is not one starts the command line.
std::optional<TraceOptions> ParseOptions(int argc, char** argv) {
  TraceOptions options;
  int i = 1;
  for (; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--realtime") {
      options.realtime = true;
    } else if (arg == "--screen") {
      if (i + 1 >= argc) return std::nullopt;
      const auto screen = ParseScreen(argv[++i]);
      if (!screen) return std::nullopt;
      options.screen = *screen;
    } else if (arg == "--frames") {
      if (i + 1 >= argc) return std::nullopt;
      options.frames = argv[++i];
    } else if (arg == "--") {
      ++i;
      break;
    } else {
      break;
    }
  }
  options.words.assign(argv + i, argv + argc);
  return options;
}

class TraceRun {
 public:
  explicit TraceRun(const TraceOptions& options)
      : options_(options),
        runtime_(slash::JoinArguments(options.words), [&] { return options_.screen; }) {}

  int Run() {
    std::int64_t tick = 0;
    try {
      start_ = Clock::now();
      slash::LoadEffect(state_, window_, runtime_);
      Print(slash::LoadTraceLine(window_.TakeRecords(), window_.scene(), state_));
      WriteFrame(0);
      slash::TickSchedule schedule(std::chrono::nanoseconds(0), kTickInterval);
      while (!runtime_.Ended()) {
        if (options_.realtime) WaitForTick(schedule);
        ++tick;
        const EffectState before = state_;
        slash::TickEffect(state_, window_, runtime_);
        Print(slash::TickTraceLine(tick, window_.TakeRecords(), before, state_, runtime_.Ended(),
                                   Elapsed()));
        WriteFrame(tick);
      }
      return 0;
    } catch (const slash::RuntimeError& error) {
      if (error.kind() == slash::RuntimeErrorKind::kOutputFailure) {
        std::cerr << "slash-trace: " << error.what() << '\n';
        return kUsageStatus;
      }
      Print(slash::ErrorTraceLine(tick, error.what()));
      std::cerr << slash::ErrorReportLine(error) << '\n';
      return 1;
    }
  }

 private:
  void WaitForTick(slash::TickSchedule& schedule) {
    std::this_thread::sleep_until(start_ + schedule.NextDue());
    while (!schedule.TakeDue(Clock::now() - start_)) {
      std::this_thread::sleep_until(start_ + schedule.NextDue());
    }
  }

  void WriteFrame(std::int64_t tick) {
    if (!options_.frames) return;
    if (!frames_) {
      frames_.emplace(*options_.frames, options_.screen.width, options_.screen.height);
    }
    frames_->Write(tick, window_.scene());
  }

  std::optional<double> Elapsed() const {
    if (!options_.realtime) return std::nullopt;
    return std::chrono::duration<double, std::milli>(Clock::now() - start_).count();
  }

  static void Print(const std::string& line) { std::cout << line << std::endl; }

  TraceOptions options_;
  slash::ProcessRuntime runtime_;
  slash::RecordingWindow window_;
  EffectState state_;
  Clock::time_point start_;
  std::optional<slash::FrameWriter> frames_;
};

}  // namespace

int main(int argc, char** argv) {
  switch (slash::FindInfoRequest(std::vector<std::string>(argv + 1, argv + argc))) {
    case slash::InfoRequest::kHelp:
      std::cout << slash::TraceHelp();
      return 0;
    case slash::InfoRequest::kVersion:
      std::cout << slash::VersionText("slash-trace");
      return 0;
    case slash::InfoRequest::kNone:
      break;
  }
  const std::optional<TraceOptions> options = ParseOptions(argc, argv);
  if (!options) {
    std::cerr << kUsage << '\n';
    return kUsageStatus;
  }
  return TraceRun(*options).Run();
}
