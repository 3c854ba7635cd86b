#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "effect/effect_params.h"
#include "runtime/runtime_services.h"

namespace slash {

struct EffectScene;
struct WindowRecord;

// A rectangle in desktop pixels.
struct PixelRect {
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
};

// Exit statuses of the display hosts; the README lists them.
constexpr int kNoDisplayStatus = 3;
constexpr int kDisplayLostStatus = 4;

// One step of the run as the loop saw it: the load (tick 0) or a tick.
struct EffectStep {
  std::int64_t tick = 0;
  EffectState before;
  EffectState after;
  bool ended = false;
  std::chrono::nanoseconds since_start{0};  // on the host's clock
};

// What a host does for the window. Each back end (the X server, Wayland,
// GDI, the trace's recorder) is one of these; the window owns the scene and the loop
// and calls a back end only through these few functions.
class WindowBackend {
 public:
  using Clock = std::chrono::steady_clock;

  virtual ~WindowBackend() = default;

  // The primary monitor, in desktop pixels. Raises on failure.
  virtual PixelRect PrimaryMonitor() = 0;

  // Shows the loaded scene: the window at the primary monitor's origin plus
  // the scene's left and top, at the scene's size, its background painted.
  virtual void Show(const EffectScene& scene) = 0;
  // Line `index` was just placed: draws it over what is shown.
  virtual void DrawLine(const EffectScene& scene, std::size_t index) = 0;
  // The background changed: repaints it and every placed line on top.
  virtual void Repaint(const EffectScene& scene) = 0;

  // Handles the display's events until `due` on this back end's clock.
  // Returns false when the window was closed; raises when the display fails.
  virtual bool WaitUntil(Clock::time_point due) = 0;
  virtual Clock::time_point Now() const { return Clock::now(); }
  // The window's size as the display last reported it, once it has: the
  // window manager or another client may have resized it since it was shown.
  virtual std::optional<ScreenSize> ReportedSize() const { return std::nullopt; }
  // The run is over: hands over whatever is still pending.
  virtual void Finish() {}

  // Followers: every operation the scene accepted, and every step.
  virtual void Applied(const EffectScene& /*scene*/, const WindowRecord& /*record*/) {}
  virtual void Stepped(const EffectStep& /*step*/) {}
};

}  // namespace slash
