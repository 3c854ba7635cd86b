#pragma once

#include <chrono>
#include <cstdint>

#include "effect/effect_params.h"
#include "window/effect_scene.h"

namespace slash {

// One step of the run as the loop saw it: the load (tick 0) or a tick.
struct EffectStep {
  std::int64_t tick = 0;
  EffectState before;
  EffectState after;
  bool ended = false;
  std::chrono::nanoseconds since_start{0};  // on the back end's clock
};

// Follows a run without taking part in it: slash-trace logs each operation
// and step. The window calls it after the scene has changed and before the
// back end shows the change.
class RunObserver {
 public:
  virtual ~RunObserver() = default;
  virtual void OperationApplied(const EffectScene& scene, const WindowRecord& record) = 0;
  virtual void StepTaken(const EffectScene& scene, const EffectStep& step) = 0;
};

}  // namespace slash
