#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "runtime/screen_size.h"
#include "trace/frame_writer.h"
#include "window/effect_scene.h"
#include "window/run_observer.h"
#include "window/window_backend.h"

namespace slash {

// slash-trace's back end: no display. Ticks run at once on a clock of its
// own, or paced at the real 125 ms with `realtime`.
class TraceBackend : public WindowBackend {
 public:
  TraceBackend(ScreenSize screen, bool realtime) : screen_(screen), realtime_(realtime) {}

  PixelRect PrimaryMonitor() override { return {0, 0, screen_.width, screen_.height}; }
  void Show(const EffectScene&) override {}
  void DrawLine(const EffectScene&, std::size_t) override {}
  void Repaint(const EffectScene&) override {}
  bool WaitUntil(Clock::time_point due) override;
  Clock::time_point Now() const override;

 private:
  ScreenSize screen_;
  bool realtime_;
  Clock::time_point virtual_now_{};
};

// Follows a run for slash-trace: one JSON line per step, handed to `print`,
// built from the operations of that step; with a frame writer, each step
// drawn offscreen to a PNG file too. `realtime` adds each tick's time.
class TraceRecorder : public RunObserver {
 public:
  using Printer = std::function<void(const std::string& line)>;

  TraceRecorder(bool realtime, std::optional<FrameWriter> frames, Printer print);

  void OperationApplied(const EffectScene& scene, const WindowRecord& record) override;
  void StepTaken(const EffectScene& scene, const EffectStep& step) override;

 private:
  bool realtime_;
  std::optional<FrameWriter> frames_;
  Printer print_;
  std::vector<WindowRecord> records_;  // since the last step
  bool applied_ = false;               // the scene has been set up at least once
};

}  // namespace slash
