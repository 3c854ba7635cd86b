#pragma once

#include <SDL.h>

#include <chrono>
#include <memory>

#include "effect/effect_params.h"
#include "runtime/runtime_services.h"
#include "window/effect_scene.h"

namespace slash {

// Why the window's run ended.
enum class WindowExit {
  kEffectDone,   // the sequence ended the program
  kClosed,       // the window was closed by other means
  kInterrupted,  // SIGINT or SIGTERM
};

// The primary display's bounds in desktop coordinates.
SDL_Rect PrimaryDisplayBounds();

// Where a window position relative to the primary display lies on the
// desktop, whose origin the primary display need not share.
SDL_Point DesktopPosition(const SDL_Rect& primary, std::int32_t left, std::int32_t top);

// F_Vesk, the effect's one window: borderless, black, full-screen on the
// primary display, with its 100 lines (Lz) and its 125 ms tick timer (TmZan). It runs the load
// step, shows itself, then runs one tick per timer interval on this thread
// until the effect ends. It draws only when something has changed.
class F_Vesk : public SceneWindow {
 public:
  static constexpr std::chrono::milliseconds kTickInterval{125};
  // The exit status when the display connection is lost mid-run.
  static constexpr int kDisplayLostStatus = 4;

  // Creates the window hidden at its design size. Requires SDL video.
  F_Vesk();
  ~F_Vesk() override;
  F_Vesk(const F_Vesk&) = delete;
  F_Vesk& operator=(const F_Vesk&) = delete;

  // Load, show, tick until the end. Run-time errors propagate.
  WindowExit Run(ProcessRuntime& runtime, const volatile int& stop_signal);

  // False once another client destroyed the window: SDL would then wait
  // for ever for the window to unmap while shutting down, so the program
  // leaves without shutting SDL down.
  static bool SafeToShutDownSdl();

 protected:
  // Every change asks for a redraw; geometry also moves the real window.
  void OnApplied(const WindowRecord& record) override;

 private:
  using Clock = std::chrono::steady_clock;

  void Show();
  void Present();
  // Waits for the tick due at `due`, handling window events meanwhile.
  // Returns false when the window was closed.
  bool WaitUntil(Clock::time_point due, const volatile int& stop_signal);
  // Notes what an event asks for: a redraw, or the end when closed.
  void HandleEvent(const SDL_Event& event);
  void DrainEvents();
  // False once another client destroyed the window; raises any other
  // failure the display reported.
  bool DisplayStillHasWindow() const;
  void ApplySize();
  void ApplyPosition();

  SDL_Window* window_ = nullptr;
  SDL_Renderer* renderer_ = nullptr;
  SDL_Rect primary_{};
  EffectState state_;
  bool dirty_ = true;
  bool closed_ = false;
  long long presents_ = 0;  // counted for the benchmark build's stamps
};

}  // namespace slash
