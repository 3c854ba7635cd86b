#pragma once

#include <bitset>
#include <chrono>
#include <cstdint>

#include "effect/effect_params.h"
#include "runtime/runtime_services.h"
#include "window/effect_scene.h"
#include "window/window_backend.h"

namespace slash {

// Why the window's run ended.
enum class WindowExit {
  kEffectDone,  // the sequence ended the program
  kClosed,      // the window was closed by other means
};

// Where a window position relative to the primary monitor lies on the
// desktop, whose origin the primary monitor need not share.
PixelRect DesktopRect(const PixelRect& primary, const EffectScene& scene);

// F_Vesk, the effect's one window: the scene with its 100 lines (Lz), the
// effect state and the 125 ms tick timer (TmZan). It runs the load step,
// shows itself through its back end, then runs one tick per timer interval
// on this thread until the effect ends. It knows no display: the back end
// shows what each step changed.
class F_Vesk : public SceneWindow {
 public:
  static constexpr std::chrono::milliseconds kTickInterval{125};

  explicit F_Vesk(WindowBackend& backend) : backend_(backend) {}

  // Load, show, tick until the end. Run-time errors propagate.
  WindowExit Run(ProcessRuntime& runtime);

  // The ticks run so far (0 during the load).
  std::int64_t ticks() const { return ticks_; }
  const EffectState& state() const { return state_; }

 protected:
  void OnApplied(const WindowRecord& record) override;

 private:
  // Hands what the last step changed to the back end: a repaint when the
  // background changed, otherwise each line that was placed.
  void ShowChanges();
  // W and H are the window's current size: takes the size the display last
  // reported, if the window was resized from outside.
  void FollowReportedSize();

  WindowBackend& backend_;
  EffectState state_;
  std::int64_t ticks_ = 0;
  std::bitset<kLineCount> lines_placed_;
  bool background_changed_ = false;
};

}  // namespace slash
