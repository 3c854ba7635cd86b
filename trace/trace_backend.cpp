#include "trace/trace_backend.h"

#include <thread>
#include <utility>

#include "trace/trace_lines.h"

namespace slash {

TraceBackend::TraceBackend(ScreenSize screen, bool realtime,
                           std::optional<std::string> frames_directory, Printer print)
    : screen_(screen),
      realtime_(realtime),
      frames_directory_(std::move(frames_directory)),
      print_(std::move(print)) {
  // The folder is checked before anything is traced, so a run that cannot
  // write its frames prints nothing.
  if (frames_directory_) frames_.emplace(*frames_directory_, screen_.width, screen_.height);
}

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

void TraceBackend::Applied(const EffectScene& scene, const WindowRecord& record) {
  scene_ = &scene;
  records_.push_back(record);
}

void TraceBackend::Stepped(const EffectStep& step) {
  if (scene_ == nullptr) return;  // nothing was ever applied: no scene to show
  std::optional<double> ms;
  if (realtime_) ms = std::chrono::duration<double, std::milli>(step.since_start).count();
  print_(step.tick == 0 ? LoadTraceLine(records_, *scene_, step.after)
                        : TickTraceLine(step.tick, records_, step.before, step.after, step.ended,
                                        ms));
  records_.clear();
  if (frames_) frames_->Write(step.tick, *scene_);
}

}  // namespace slash
