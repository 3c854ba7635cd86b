#pragma once

#include "effect/effect_params.h"
#include "effect/window_operations.h"
#include "runtime/runtime_services.h"

namespace slash {

// Runs once before the window is shown: fits the window to the primary
// screen, reads the command line into `state` and gives lines 0..ZanCount
// the effect colour.
void LoadEffect(EffectState& state, WindowOperations& window, RuntimeServices& runtime);

// Runs once per 125 ms tick: 12 ticks of delay, one line per tick from line
// ZanCount down to 0, a flood with the effect colour, six quiet ticks, then
// the end of the program.
void TickEffect(EffectState& state, WindowOperations& window, RuntimeServices& runtime);

// The count at which a tick ends the program. Lower counts end there too,
// so that no command line can keep the window up for ever.
constexpr std::int32_t kEndCount = -8;
constexpr std::int32_t kFloodCount = -1;

}  // namespace slash
