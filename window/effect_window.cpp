#include "window/effect_window.h"

#include <time.h>

#include <algorithm>
#include <string>

#include "effect/slash_sequence.h"
#include "runtime/runtime_error.h"
#include "window/bench_stamps.h"
#include "window/scene_renderer.h"
#include "window/tick_schedule.h"
#include "window/x11_watch.h"

namespace slash {
namespace {

[[noreturn]] void ThrowNoDisplay(const std::string& what) {
  throw RuntimeError(RuntimeErrorKind::kNoDisplay, what + ": " + SDL_GetError());
}

void ThrowIfFailed(int sdl_result, const char* what) {
  if (sdl_result != 0) {
    throw RuntimeError(RuntimeErrorKind::kPropertyFailure,
                       std::string(what) + ": " + SDL_GetError());
  }
}

// Sleeps to an absolute time on the monotonic clock, which steady_clock is
// on Linux; a signal cuts the sleep short.
void SleepUntil(std::chrono::steady_clock::time_point due) {
  const auto since_epoch = due.time_since_epoch();
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since_epoch);
  timespec deadline{};
  deadline.tv_sec = static_cast<time_t>(seconds.count());
  deadline.tv_nsec = static_cast<long>((since_epoch - seconds).count());
  clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr);
}

// The event wait counts in whole milliseconds; the last stretch before a
// tick is slept precisely instead.
constexpr auto kPreciseSleepMargin = std::chrono::milliseconds(2);

}  // namespace

SDL_Rect PrimaryDisplayBounds() {
  SDL_Rect bounds{};
  if (SDL_GetDisplayBounds(0, &bounds) != 0) {
    throw RuntimeError(RuntimeErrorKind::kPropertyFailure,
                       std::string("cannot read the screen size: ") + SDL_GetError());
  }
  return bounds;
}

SDL_Point DesktopPosition(const SDL_Rect& primary, std::int32_t left, std::int32_t top) {
  return SDL_Point{primary.x + left, primary.y + top};
}

F_Vesk::F_Vesk() : primary_(PrimaryDisplayBounds()) {
  const EffectScene& design = scene();
  const Uint32 flags = SDL_WINDOW_HIDDEN | SDL_WINDOW_BORDERLESS | SDL_WINDOW_SKIP_TASKBAR |
                       SDL_WINDOW_ALLOW_HIGHDPI;
  window_ = SDL_CreateWindow("slash", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                             design.width, design.height, flags);
  if (window_ == nullptr) ThrowNoDisplay("cannot create the window");
  renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_SOFTWARE);
  if (renderer_ == nullptr) {
    SDL_DestroyWindow(window_);
    ThrowNoDisplay("cannot create the window's renderer");
  }
  WatchX11Connection(window_, kDisplayLostStatus);
}

F_Vesk::~F_Vesk() {
  if (!SafeToShutDownSdl()) return;
  SDL_DestroyRenderer(renderer_);
  SDL_DestroyWindow(window_);
}

bool F_Vesk::SafeToShutDownSdl() {
  return !X11WindowDestroyed();
}

void F_Vesk::ApplySize() {
  SDL_SetWindowSize(window_, std::max(1, scene().width), std::max(1, scene().height));
}

void F_Vesk::ApplyPosition() {
  const SDL_Point at = DesktopPosition(primary_, scene().left, scene().top);
  SDL_SetWindowPosition(window_, at.x, at.y);
}

void F_Vesk::OnApplied(const WindowRecord& record) {
  dirty_ = true;
  switch (record.operation) {
    case WindowRecord::Operation::kSetHeight:
    case WindowRecord::Operation::kSetWidth:
      ApplySize();
      break;
    case WindowRecord::Operation::kSetTop:
    case WindowRecord::Operation::kSetLeft:
      ApplyPosition();
      break;
    default:
      break;
  }
}

void F_Vesk::Show() {
  // Full-screen state is asked for on its own, after the window exists: it
  // keeps panels and docks under the window on a managing desktop.
  if (!RequestX11InitialFullscreen(window_)) {
    ThrowIfFailed(SDL_SetWindowFullscreen(window_, SDL_WINDOW_FULLSCREEN_DESKTOP),
                  "cannot make the window full-screen");
  }
  // The first frame is drawn while the window is still hidden, once the
  // resize and move have come back as events (each size change makes SDL
  // build a new framebuffer). SDL_ShowWindow returns once the window is
  // mapped, and the ready frame is presented straight away.
  DrainEvents();
  Present();
  SDL_ShowWindow(window_);
  BenchStamp("mapped");
  SDL_RaiseWindow(window_);
  DrainEvents();
  Present();
}

void F_Vesk::DrainEvents() {
  SDL_Event event;
  while (SDL_PollEvent(&event) == 1) HandleEvent(event);
}

void F_Vesk::Present() {
  if (!DrawScene(renderer_, scene())) {
    throw RuntimeError(RuntimeErrorKind::kPropertyFailure,
                       std::string("cannot draw the window: ") + SDL_GetError());
  }
  SDL_RenderPresent(renderer_);
  BenchStamp("present", ++presents_);
  dirty_ = false;
}

void F_Vesk::HandleEvent(const SDL_Event& event) {
  if (event.type == SDL_QUIT) closed_ = true;
  if (event.type == SDL_SYSWMEVENT) NoteWindowManagerEvent(*event.syswm.msg);
  if (event.type == SDL_WINDOWEVENT) {
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
}

bool F_Vesk::DisplayStillHasWindow() const {
  // Once the window is gone, SDL's requests about it fail in turn: those
  // errors are expected and say nothing more.
  if (X11WindowDestroyed()) return false;
  const std::string failure = X11Failure();
  if (!failure.empty()) throw RuntimeError(RuntimeErrorKind::kPropertyFailure, failure);
  return true;
}

bool F_Vesk::WaitUntil(Clock::time_point due, const volatile int& stop_signal) {
  SDL_Event event;
  while (stop_signal == 0) {
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
      if (dirty_) Present();
    }
  }
  if (stop_signal == 0) SleepUntil(due);
  DrainEvents();
  return !closed_ && DisplayStillHasWindow();
}

WindowExit F_Vesk::Run(ProcessRuntime& runtime, const volatile int& stop_signal) {
  const Clock::time_point start = Clock::now();  // the timer starts with the load
  BenchStamp("load");
  LoadEffect(state_, *this, runtime);
  Show();

  TickSchedule TmZan(std::chrono::nanoseconds(0), kTickInterval);  // the tick timer
  for (;;) {
    if (!WaitUntil(start + TmZan.NextDue(), stop_signal)) return WindowExit::kClosed;
    if (stop_signal != 0) return WindowExit::kInterrupted;
    if (!TmZan.TakeDue(Clock::now() - start)) continue;
    BenchStamp("tick", (TmZan.NextDue() - kTickInterval) / kTickInterval);
    TickEffect(state_, *this, runtime);
    if (runtime.Ended()) {
      BenchStamp("end", TmZan.taken());
      return WindowExit::kEffectDone;
    }
    if (dirty_) Present();
  }
}

}  // namespace slash
