// slash: the full-screen slash effect.

#include <SDL.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/program_info.h"
#include "runtime/runtime_error.h"
#include "runtime/runtime_services.h"
#include "window/effect_window.h"

namespace {

// Exit statuses; the README lists them.
constexpr int kStatusDone = 0;
constexpr int kStatusRuntimeError = 1;
constexpr int kStatusNoDisplay = 3;

volatile sig_atomic_t g_stop_signal = 0;

extern "C" void OnStopSignal(int signal_number) {
  g_stop_signal = signal_number;
}

void InstallStopHandlers() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

void ConfigureSdl() {
  // Our own handlers tell SIGINT from SIGTERM; SDL's would fold both into a quit event.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  // The software renderer draws straight into the window's framebuffer: no
  // GPU stack is loaded for a handful of lines.
  SDL_SetHint(SDL_HINT_RENDER_DRIVER, "software");
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  // The effect stays up when another window takes the focus.
  SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
}

// Picks the video driver from the session's display. SDL would otherwise
// fall back to an offscreen driver and run the effect where nobody sees it.
bool ChooseVideoDriver() {
  if (std::getenv("SDL_VIDEODRIVER") != nullptr) return true;  // the user's explicit choice
  if (std::getenv("DISPLAY") != nullptr) {
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
    return true;
  }
  if (std::getenv("WAYLAND_DISPLAY") != nullptr) {
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "wayland");
    return true;
  }
  return false;
}

void PrintError(const std::string& line) {
  std::fprintf(stderr, "%s\n", line.c_str());
}

int RunEffect(const std::string& command_line) {
  slash::F_Vesk window;
  slash::ProcessRuntime runtime(command_line, [] {
    const SDL_Rect bounds = slash::PrimaryDisplayBounds();
    return slash::ScreenSize{bounds.w, bounds.h};
  });
  switch (window.Run(runtime, g_stop_signal)) {
    case slash::WindowExit::kEffectDone:
    case slash::WindowExit::kClosed:
      return kStatusDone;
    case slash::WindowExit::kInterrupted:
      return 128 + g_stop_signal;
  }
  return kStatusDone;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  switch (slash::FindInfoRequest(arguments)) {
    case slash::InfoRequest::kHelp:
      std::fputs(slash::SlashHelp().c_str(), stdout);
      return kStatusDone;
    case slash::InfoRequest::kVersion:
      std::fputs(slash::VersionText("slash").c_str(), stdout);
      return kStatusDone;
    case slash::InfoRequest::kNone:
      break;
  }
  const std::string command_line = slash::JoinArguments(arguments);
  InstallStopHandlers();
  ConfigureSdl();
  if (!ChooseVideoDriver()) {
    PrintError("slash: no display to show the effect on (is DISPLAY or WAYLAND_DISPLAY set?)");
    return kStatusNoDisplay;
  }
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    PrintError(
        std::string("slash: cannot open the display (is DISPLAY or WAYLAND_DISPLAY set?): ") +
        SDL_GetError());
    return kStatusNoDisplay;
  }
  int status = kStatusDone;
  try {
    status = RunEffect(command_line);
  } catch (const slash::RuntimeError& error) {
    PrintError(slash::ErrorReportLine(error));
    status = error.kind() == slash::RuntimeErrorKind::kNoDisplay ? kStatusNoDisplay
                                                                 : kStatusRuntimeError;
  }
  if (slash::F_Vesk::SafeToShutDownSdl()) SDL_Quit();
  return status;
}
