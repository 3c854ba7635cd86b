// slash-trace: runs the effect over a recording window, with no display, and
// prints one JSON object per step on stdout.

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "app/process_setup.h"
#include "app/program_info.h"
#include "runtime/exit_status.h"
#include "runtime/process_runtime.h"
#include "runtime/runtime_error.h"
#include "trace/trace_lines.h"
#include "trace/trace_recorder.h"
#include "window/effect_window.h"

namespace {

// Sizes past this are no screen, and their pixel arithmetic would overflow.
constexpr long kLargestScreenSide = 1L << 20;
// The most pixels a frame may have (16384 x 16384, 768 MiB as RGB): a frame
// is held whole in memory.
constexpr long long kLargestFrame = 1LL << 28;

struct TraceOptions {
  slash::ScreenSize screen{1920, 1080};
  bool realtime = false;
  std::optional<std::string> frames;
  std::size_t options = 0;  // how many arguments the options took
};

// A side of a screen: decimal digits only, 1 to kLargestScreenSide.
std::optional<std::int32_t> ParseSide(const std::string& text) {
  if (text.empty() || text.size() > 8 ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  long side = 0;
  std::from_chars(text.data(), text.data() + text.size(), side);
  if (side < 1 || side > kLargestScreenSide) return std::nullopt;
  return static_cast<std::int32_t>(side);
}

std::optional<slash::ScreenSize> ParseScreen(const std::string& text) {
  const std::size_t by = text.find('x');
  if (by == std::string::npos) return std::nullopt;
  const auto width = ParseSide(text.substr(0, by));
  const auto height = ParseSide(text.substr(by + 1));
  if (!width || !height) return std::nullopt;
  return slash::ScreenSize{*width, *height};
}

// Options come first; the first word that is not one starts the command
// line. Before that, a word beginning with "--" is an option: one that is
// not known is a mistake to report, never effect text ("--" ends them).
struct ParsedOptions {
  TraceOptions options;
  std::string error;  // empty when the options are good
};

ParsedOptions ParseOptions(int argc, char** argv) {
  ParsedOptions parsed;
  TraceOptions& options = parsed.options;
  int i = 1;
  for (; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--realtime") {
      options.realtime = true;
    } else if (arg == "--screen") {
      if (!has_value) return {options, "--screen needs a size, such as --screen 1920x1080"};
      const std::string value = argv[++i];
      const auto screen = ParseScreen(value);
      if (!screen) {
        return {options, "--screen \"" + value + "\" is not a size: WxH, each side from 1 to " +
                             std::to_string(kLargestScreenSide)};
      }
      options.screen = *screen;
    } else if (arg == "--frames") {
      if (!has_value) return {options, "--frames needs a folder"};
      options.frames = argv[++i];
      if (options.frames->empty()) return {options, "--frames needs a folder, not \"\""};
    } else if (arg == "--") {
      ++i;
      break;
    } else if (arg == "--help" || arg == "--version") {
      return {options, arg + " takes no other words"};
    } else if (arg.rfind("--", 0) == 0) {
      return {options, "unknown option \"" + arg +
                           "\" (--screen WxH, --realtime, --frames DIR; -- ends the options)"};
    } else {
      break;
    }
  }
  const long long pixels = static_cast<long long>(options.screen.width) * options.screen.height;
  if (options.frames && pixels > kLargestFrame) {
    return {options, "--frames draws at most " + std::to_string(kLargestFrame) +
                         " pixels a frame (16384x16384); --screen " +
                         std::to_string(options.screen.width) + "x" +
                         std::to_string(options.screen.height) + " is more"};
  }
  options.options = static_cast<std::size_t>(i - 1);
  return parsed;
}

// Text on stdout, sent at once; lost text is an output failure.
void PrintText(const std::string& text) {
  errno = 0;
  if (std::fputs(text.c_str(), stdout) == EOF || std::fflush(stdout) != 0) {
    throw slash::RuntimeError::HostFailure(
        std::string("cannot write the trace: ") + std::strerror(errno ? errno : EIO),
        slash::kStatusOutputFailure);
  }
}

void PrintLine(const std::string& line) {
  PrintText(line + "\n");
}

// Every message names the program that wrote it.
std::string ReportLine(const slash::RuntimeError& error) {
  return slash::ErrorReportLine(error, "slash-trace");
}

int RunTrace(const TraceOptions& options, const std::vector<std::string>& arguments) {
  // The folder is checked before anything is traced, so a run that cannot
  // write its frames prints nothing.
  std::optional<slash::FrameWriter> frames;
  if (options.frames) frames.emplace(*options.frames, options.screen.width, options.screen.height);
  slash::TraceBackend backend(options.screen, options.realtime);
  slash::TraceRecorder recorder(options.realtime, std::move(frames), PrintLine);
  // The words after the options, read as slash reads its own.
  slash::ProcessRuntime runtime(slash::EffectCommandText(arguments, options.options),
                                [&] { return options.screen; });
  slash::F_Vesk window(backend, &recorder);
  try {
    window.Run(runtime);
    return slash::kStatusDone;
  } catch (const slash::RuntimeError& error) {
    if (slash::IsEffectError(error.kind())) {
      PrintLine(slash::ErrorTraceLine(window.ticks(), error.what()));
    }
    std::fprintf(stderr, "%s\n", ReportLine(error).c_str());
    return error.exit_status();
  }
}

}  // namespace

int main(int argc, char** argv) {
  slash::OpenStandardDescriptors();
  try {
    switch (slash::FindInfoRequest(std::vector<std::string>(argv + 1, argv + argc))) {
      case slash::InfoRequest::kHelp:
        PrintText(slash::TraceHelp());
        return 0;
      case slash::InfoRequest::kVersion:
        PrintText(slash::VersionText("slash-trace"));
        return 0;
      case slash::InfoRequest::kNone:
        break;
    }
    const ParsedOptions parsed = ParseOptions(argc, argv);
    if (!parsed.error.empty()) {
      std::fprintf(stderr, "slash-trace: %s; see slash-trace --help\n",
                   slash::EscapeControls(parsed.error).c_str());
      return slash::kStatusOutputFailure;
    }
    return RunTrace(parsed.options, std::vector<std::string>(argv + 1, argv + argc));
  } catch (const slash::RuntimeError& error) {
    // An output failure while reporting another error.
    std::fprintf(stderr, "%s\n", ReportLine(error).c_str());
    return error.exit_status();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", slash::UnexpectedErrorLine(&error, "slash-trace").c_str());
    return slash::kStatusEffectError;
  } catch (...) {
    std::fprintf(stderr, "%s\n", slash::UnexpectedErrorLine(nullptr, "slash-trace").c_str());
    return slash::kStatusEffectError;
  }
}
