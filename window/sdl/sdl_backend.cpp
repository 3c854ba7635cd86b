// The SDL back end, built as the module slash-sdl.so: for sessions without
// an X server (native Wayland) and for other platforms, or when
// SLASH_BACKEND=sdl asks for it.

#include <SDL.h>
#include <sys/stat.h>
#include <time.h>

#include <cerrno>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "runtime/runtime_error.h"
#include "window/effect_scene.h"
#include "window/effect_window.h"
#include "window/monotonic_time.h"
#include "window/sdl/scene_renderer.h"
#include "window/sdl/sdl_module.h"
#include "window/sdl/x11_watch.h"
#include "window/window_backend.h"

namespace slash {
namespace {

[[noreturn]] void ThrowNoDisplay(const std::string& what) {
  throw RuntimeError::HostFailure(what + ": " + SDL_GetError(), kNoDisplayStatus);
}

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

// The video driver for this session; an empty variable counts as unset.
std::string ChooseVideoDriver() {
  const std::string asked = Environment("SDL_VIDEODRIVER");
  if (!asked.empty()) return asked;
  if (!Environment("WAYLAND_DISPLAY").empty()) return "wayland";
  if (!Environment("DISPLAY").empty()) return "x11";
  throw RuntimeError::HostFailure(
      "no display to show the effect on (neither DISPLAY nor WAYLAND_DISPLAY is set)",
      kNoDisplayStatus);
}

// libwayland prints its own line when it cannot connect; this says which
// display is missing instead, before SDL tries.
void CheckWaylandSocket() {
  std::string name = Environment("WAYLAND_DISPLAY");
  if (name.empty()) name = "wayland-0";
  std::string path = name;
  if (name[0] != '/') {
    const std::string runtime_dir = Environment("XDG_RUNTIME_DIR");
    if (runtime_dir.empty()) {
      throw RuntimeError::HostFailure(
          "cannot open the Wayland display \"" + name + "\": XDG_RUNTIME_DIR is not set",
          kNoDisplayStatus);
    }
    path = runtime_dir + "/" + name;
  }
  struct stat info {};
  if (stat(path.c_str(), &info) != 0 || !S_ISSOCK(info.st_mode)) {
    throw RuntimeError::HostFailure(
        "cannot open the Wayland display \"" + name + "\": there is no " + path,
        kNoDisplayStatus);
  }
}

void OpenVideo(const std::string& driver) {
  // Our own handlers tell SIGINT from SIGTERM; SDL's would fold both into a quit event.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
  if (driver != "wayland") {
    // The software renderer draws straight into the window's framebuffer:
    // no GPU stack is loaded for a handful of lines. Wayland has no such
    // framebuffer, so there SDL picks its accelerated renderer.
    SDL_SetHint(SDL_HINT_RENDER_DRIVER, "software");
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  }
  SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, driver.c_str(), SDL_HINT_OVERRIDE);
  if (driver == "wayland") CheckWaylandSocket();
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    ThrowNoDisplay("cannot open the display through SDL's " + driver + " driver");
  }
}

// Sleeps to an absolute time on the monotonic clock.
void SleepUntil(std::chrono::steady_clock::time_point due) {
  const timespec deadline = MonotonicTimespec(due);
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
  }
}

// SDL's event wait counts in whole milliseconds; the last stretch before a
// tick is slept precisely instead.
constexpr auto kPreciseSleepMargin = std::chrono::milliseconds(2);

class SdlBackend : public WindowBackend {
 public:
  explicit SdlBackend(std::string driver) : driver_(std::move(driver)) { OpenVideo(driver_); }
  ~SdlBackend() override;
  SdlBackend(const SdlBackend&) = delete;
  SdlBackend& operator=(const SdlBackend&) = delete;

  PixelRect PrimaryMonitor() override;
  void Show(const EffectScene& scene) override;
  void DrawLine(const EffectScene& scene, std::size_t) override { Present(scene); }
  void Repaint(const EffectScene& scene) override { Present(scene); }
  bool WaitUntil(Clock::time_point due) override;

 private:
  void Present(const EffectScene& scene);
  void HandleEvent(const SDL_Event& event);
  void DrainEvents();
  // False once another client destroyed the window; raises any other
  // failure the display reported.
  bool DisplayStillHasWindow() const;

  std::string driver_;
  SDL_Window* window_ = nullptr;
  SDL_Renderer* renderer_ = nullptr;
  const EffectScene* shown_ = nullptr;
  bool dirty_ = false;
  bool closed_ = false;
};

SdlBackend::~SdlBackend() {
  // Once another client destroyed the window, SDL would wait for ever for
  // it to unmap: the process then leaves it to the server.
  if (X11WindowDestroyed()) return;
  // A Wayland compositor drops the surface with the connection at exit;
  // tearing down the accelerated renderer first would only cost time.
  if (driver_ == "wayland") return;
  // On X the window goes at once, so that the screen shows the end on time.
  if (renderer_ != nullptr) SDL_DestroyRenderer(renderer_);
  if (window_ != nullptr) SDL_DestroyWindow(window_);
  // The rest of SDL's teardown would only cost time on a display server; a
  // console driver needs SDL_Quit to give the display back.
  if (driver_ != "x11") SDL_Quit();
}

PixelRect SdlBackend::PrimaryMonitor() {
  SDL_Rect bounds{};
  if (SDL_GetDisplayBounds(0, &bounds) != 0) {
    throw RuntimeError(RuntimeErrorKind::kPropertyFailure,
                       std::string("cannot read the screen size: ") + SDL_GetError());
  }
  return PixelRect{bounds.x, bounds.y, bounds.w, bounds.h};
}

void SdlBackend::Show(const EffectScene& scene) {
  shown_ = &scene;
  const PixelRect rect = DesktopRect(PrimaryMonitor(), scene);
  const Uint32 flags = SDL_WINDOW_HIDDEN | SDL_WINDOW_BORDERLESS | SDL_WINDOW_SKIP_TASKBAR |
                       SDL_WINDOW_ALLOW_HIGHDPI;
  window_ = SDL_CreateWindow("slash", rect.x, rect.y, std::max(1, rect.width),
                             std::max(1, rect.height), flags);
  if (window_ == nullptr) ThrowNoDisplay("cannot create the window");
  const Uint32 renderer_flags = driver_ == "wayland" ? 0 : SDL_RENDERER_SOFTWARE;
  renderer_ = SDL_CreateRenderer(window_, -1, renderer_flags);
  if (renderer_ == nullptr) ThrowNoDisplay("cannot create the window's renderer");
  WatchX11Connection(window_, kDisplayLostStatus);
  // Full-screen state is asked for on its own, after the window exists: it
  // keeps panels and docks under the window on a managing desktop.
  if (!RequestX11InitialFullscreen(window_) &&
      SDL_SetWindowFullscreen(window_, SDL_WINDOW_FULLSCREEN_DESKTOP) != 0) {
    ThrowNoDisplay("cannot make the window full-screen");
  }
  // The first frame is drawn while the window is still hidden; SDL_ShowWindow
  // returns once the window is mapped, and the ready frame goes up at once.
  DrainEvents();
  Present(scene);
  SDL_ShowWindow(window_);
  SDL_RaiseWindow(window_);
  DrainEvents();
  Present(scene);
}

void SdlBackend::Present(const EffectScene& scene) {
  if (!DrawScene(renderer_, scene)) {
    throw RuntimeError(RuntimeErrorKind::kPropertyFailure,
                       std::string("cannot draw the window: ") + SDL_GetError());
  }
  SDL_RenderPresent(renderer_);
  dirty_ = false;
}

void SdlBackend::DrainEvents() {
  SDL_Event event;
  while (SDL_PollEvent(&event) == 1) HandleEvent(event);
}

void SdlBackend::HandleEvent(const SDL_Event& event) {
  if (event.type == SDL_QUIT) closed_ = true;
  if (event.type == SDL_SYSWMEVENT) NoteWindowManagerEvent(*event.syswm.msg);
  if (event.type != SDL_WINDOWEVENT) return;
  switch (event.window.event) {
    case SDL_WINDOWEVENT_CLOSE:
      closed_ = true;
      break;
    case SDL_WINDOWEVENT_EXPOSED:
    case SDL_WINDOWEVENT_SIZE_CHANGED:
    case SDL_WINDOWEVENT_SHOWN:
      dirty_ = true;
      break;
    default:
      break;
  }
}

bool SdlBackend::DisplayStillHasWindow() const {
  // Once the window is gone, SDL's requests about it fail in turn: those
  // errors are expected and say nothing more.
  if (X11WindowDestroyed()) return false;
  const std::string failure = X11Failure();
  if (!failure.empty()) throw RuntimeError(RuntimeErrorKind::kPropertyFailure, failure);
  return true;
}

bool SdlBackend::WaitUntil(Clock::time_point due) {
  SDL_Event event;
  for (;;) {
    if (closed_ || !DisplayStillHasWindow()) return false;
    const auto left = due - Clock::now();
    if (left <= kPreciseSleepMargin) break;
    const auto wait =
        std::chrono::duration_cast<std::chrono::milliseconds>(left - kPreciseSleepMargin);
    if (SDL_WaitEventTimeout(&event, static_cast<int>(wait.count()) + 1) == 1) {
      do {
        HandleEvent(event);
      } while (SDL_PollEvent(&event) == 1);
      if (closed_) return false;
      if (dirty_ && shown_ != nullptr) Present(*shown_);
    }
  }
  SleepUntil(due);
  DrainEvents();
  return !closed_ && DisplayStillHasWindow();
}

}  // namespace
}  // namespace slash

extern "C" slash::WindowBackend* slash_open_sdl_backend() {
  return new slash::SdlBackend(slash::ChooseVideoDriver());
}
