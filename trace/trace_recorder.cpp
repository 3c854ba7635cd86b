#include "trace/trace_recorder.h"

#include <thread>
#include <utility>

#include "trace/trace_lines.h"

namespace slash {

bool TraceBackend::WaitUntil(Clock::time_point due) {
  if (realtime_) {
    std::this_thread::sleep_until(due);
  } else {
    virtual_now_ = due;
  }
  return true;
}

WindowBackend::Clock::time_point TraceBackend::Now() const {
  return realtime_ ? Clock::now() : virtual_now_;
}

TraceRecorder::TraceRecorder(bool realtime, std::optional<FrameWriter> frames, Printer print)
    : realtime_(realtime), frames_(std::move(frames)), print_(std::move(print)) {}

void TraceRecorder::OperationApplied(const EffectScene&, const WindowRecord& record) {
  applied_ = true;
  records_.push_back(record);
}

void TraceRecorder::StepTaken(const EffectScene& scene, const EffectStep& step) {
  if (!applied_) return;  // nothing was ever applied: no scene to show
  std::optional<double> ms;
  if (realtime_) ms = std::chrono::duration<double, std::milli>(step.since_start).count();
  print_(step.tick == 0 ? LoadTraceLine(records_, scene, step.after)
                        : TickTraceLine(step, records_, ms));
  records_.clear();
  if (frames_) frames_->Write(step.tick, scene);
}

}  // namespace slash
