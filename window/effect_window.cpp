#include "window/effect_window.h"

#include "effect/slash_sequence.h"
#include "window/tick_schedule.h"

namespace slash {

PixelRect DesktopRect(const PixelRect& primary, const EffectScene& scene) {
  return PixelRect{primary.x + scene.left, primary.y + scene.top, scene.width, scene.height};
}

// Start here. A run is: the load step, the window shown, then one tick per
// TmZan interval until the sequence ends the program or the window is
// closed. Tick k is due k intervals after the load on the back end's clock;
// the back end waits for it while it handles the display's events.
WindowExit F_Vesk::Run(ProcessRuntime& runtime) {
  using Clock = WindowBackend::Clock;
  const Clock::time_point start = backend_.Now();  // the timer starts with the load
  LoadEffect(state_, *this, runtime);
  backend_.Stepped({0, EffectState{}, state_, false, std::chrono::nanoseconds(0)});
  backend_.Show(scene());
  lines_placed_.reset();
  background_changed_ = false;

  TickSchedule TmZan(std::chrono::nanoseconds(0), kTickInterval);
  for (;;) {
    if (!backend_.WaitUntil(start + TmZan.NextDue())) return WindowExit::kClosed;
    const auto now = backend_.Now() - start;
    if (!TmZan.TakeDue(now)) continue;
    FollowReportedSize();
    ++ticks_;
    const EffectState before = state_;
    TickEffect(state_, *this, runtime);
    backend_.Stepped({ticks_, before, state_, runtime.Ended(), now});
    ShowChanges();
    if (runtime.Ended()) {
      backend_.Finish();
      return WindowExit::kEffectDone;
    }
  }
}

void F_Vesk::FollowReportedSize() {
  const std::optional<ScreenSize> size = backend_.ReportedSize();
  if (size && *size != ScreenSize{scene().width, scene().height}) {
    FollowSize(size->width, size->height);
  }
}

void F_Vesk::OnApplied(const WindowRecord& record) {
  backend_.Applied(scene(), record);
  switch (record.operation) {
    case WindowRecord::Operation::kSetLineX1:
    case WindowRecord::Operation::kSetLineY1:
    case WindowRecord::Operation::kSetLineX2:
    case WindowRecord::Operation::kSetLineY2:
      lines_placed_.set(static_cast<std::size_t>(record.line));
      break;
    case WindowRecord::Operation::kSetBackground:
      background_changed_ = true;
      break;
    default:
      // Geometry and line colours show with the window and the next
      // placement; nothing is on the screen to redraw for them.
      break;
  }
}

void F_Vesk::ShowChanges() {
  if (background_changed_) {
    backend_.Repaint(scene());
  } else {
    for (std::size_t i = 0; i < kLineCount; ++i) {
      if (lines_placed_.test(i)) backend_.DrawLine(scene(), i);
    }
  }
  lines_placed_.reset();
  background_changed_ = false;
}

}  // namespace slash
