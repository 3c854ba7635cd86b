#include "window/effect_window.h"

#include <algorithm>

#include "effect/slash_sequence.h"
#include "window/tick_schedule.h"

namespace slash {

// Start here. A run is: the load step, the window shown, then one tick per
// TmZan interval until the sequence ends the program or the window is
// closed. Tick k is due k intervals after the load on the back end's clock;
// the back end waits for it while it handles the display's events.
//
// The names the effect keeps:
//   F_Vesk     the one window (this class)
//   TmZan      its 125 ms tick timer (the schedule below)
//   Lz         its array of 100 lines (EffectScene::Lz)
//   ZanCount   the next line to place; once the lines are done, the phase counter
//   ZanColor   the effect colour (0x00BBGGRR)
//   ZanWait    the start delay left, in ticks
void F_Vesk::Run(RuntimeServices& runtime) {
  using Clock = WindowBackend::Clock;
  const Clock::time_point start = backend_.Now();  // the timer starts with the load
  LoadEffect(state_, *this, runtime);
  Observe({0, EffectState{}, state_, false, std::chrono::nanoseconds(0)});
  backend_.Show(scene());
  lines_placed_.clear();
  background_changed_ = false;

  TickSchedule TmZan(std::chrono::nanoseconds(0), kTickInterval);
  for (;;) {
    if (!backend_.WaitUntil(start + TmZan.NextDue())) return;  // closed
    const auto now = backend_.Now() - start;
    if (!TmZan.TakeDue(now)) continue;
    FollowReportedSize();
    ++ticks_;
    const EffectState before = state_;
    TickEffect(state_, *this, runtime);
    Observe({ticks_, before, state_, runtime.Ended(), now});
    ShowChanges();
    if (runtime.Ended()) {
      backend_.Finish();
      return;
    }
  }
}

void F_Vesk::Observe(const EffectStep& step) {
  if (observer_ != nullptr) observer_->StepTaken(scene(), step);
}

void F_Vesk::FollowReportedSize() {
  const std::optional<ScreenSize> size = backend_.ReportedSize();
  if (size && *size != ScreenSize{scene().width, scene().height}) {
    FollowSize(size->width, size->height);
  }
}

void F_Vesk::OnApplied(const WindowRecord& record) {
  if (observer_ != nullptr) observer_->OperationApplied(scene(), record);
  switch (record.operation) {
    case WindowRecord::Operation::kSetLineX1:
    case WindowRecord::Operation::kSetLineY1:
    case WindowRecord::Operation::kSetLineX2:
    case WindowRecord::Operation::kSetLineY2: {
      const auto line = static_cast<std::size_t>(record.line);
      if (std::find(lines_placed_.begin(), lines_placed_.end(), line) == lines_placed_.end()) {
        lines_placed_.push_back(line);
      }
      break;
    }
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
    for (const std::size_t line : lines_placed_) backend_.DrawLine(scene(), line);
  }
  lines_placed_.clear();
  background_changed_ = false;
}

}  // namespace slash
