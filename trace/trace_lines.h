#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "effect/effect_params.h"
#include "window/effect_scene.h"
#include "window/run_observer.h"

namespace slash {

// Builders of the JSON lines that slash-trace prints, one object a line.
// Each line is built from the operations the recording window logged.

// {"tick":0,"phase":"load","left":..,"top":..,"width":..,"height":..,
//  "wait":12,"count":N,"color":"0x0000FF","colored":K}
std::string LoadTraceLine(const std::vector<WindowRecord>& records, const EffectScene& scene,
                          const EffectState& state);

// One tick: "wait", "place" (with line, x1, y1, x2, y2), "flood" (with
// color), "hold" or "end", followed by the wait and count left after it.
// `ms`, when given, is the time since the timer started.
std::string TickTraceLine(const EffectStep& step, const std::vector<WindowRecord>& records,
                          std::optional<double> ms);

// {"tick":T,"phase":"error","message":"..."}
std::string ErrorTraceLine(std::int64_t tick, const std::string& message);

// A colour as its 0x00BBGGRR word: "0x0000FF".
std::string ColorText(EffectColor color);

}  // namespace slash
