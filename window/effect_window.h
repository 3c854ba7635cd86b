#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

#include "runtime/runtime_services.h"
#include "window/effect_scene.h"
#include "window/run_observer.h"
#include "window/window_backend.h"

namespace slash {

// F_Vesk, the effect's one window: the scene with its 100 lines (Lz), the
// effect state and the 125 ms tick timer (TmZan). It runs the load step,
// shows itself through its back end, then runs one tick per timer interval
// on this thread until the effect ends or the window is closed. It knows no
// display: the back end shows what each step changed.
class F_Vesk : public SceneWindow {
 public:
  static constexpr std::chrono::milliseconds kTickInterval{125};

  // `observer`, when given, follows every operation and step.
  explicit F_Vesk(WindowBackend& backend, RunObserver* observer = nullptr)
      : backend_(backend), observer_(observer) {}

  // Load, show, tick until the end or a close. Run-time errors propagate.
  void Run(RuntimeServices& runtime);

  // The ticks run so far (0 during the load).
  std::int64_t ticks() const { return ticks_; }

 protected:
  void OnApplied(const WindowRecord& record) override;

 private:
  // Hands what the last step changed to the back end: a repaint when the
  // background changed, otherwise each line that was placed.
  void ShowChanges();
  // W and H are the window's current size: takes the size the display last
  // reported, if the window was resized from outside.
  void FollowReportedSize();
  void Observe(const EffectStep& step);

  WindowBackend& backend_;
  RunObserver* observer_;
  EffectState state_;
  std::int64_t ticks_ = 0;
  std::vector<std::size_t> lines_placed_;  // since the last step, in the order placed
  bool background_changed_ = false;
};

}  // namespace slash
