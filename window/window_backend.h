#pragma once

#include <chrono>
#include <cstddef>
#include <optional>

#include "runtime/screen_size.h"
#include "window/effect_scene.h"
#include "window/geometry.h"

namespace slash {

// What a display does for the window. Each back end (the X server,
// Wayland, GDI, slash-trace's clock) is one of these; the window owns the
// scene and the loop and calls a back end only through these few functions.
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
};

}  // namespace slash
