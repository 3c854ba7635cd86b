#include "effect/slash_sequence.h"

#include "runtime/number_services.h"

namespace slash {
namespace {

// One end height: a fresh reseed and draw, scaled by the window height as
// it is at this moment.
float RandomHeight(WindowOperations& window, RuntimeServices& runtime) {
  runtime.ReseedRandom();
  const float r = runtime.DrawRandom();
  return CheckedHeightProduct(r, window.Height());
}

void PlaceLine(std::int32_t line, WindowOperations& window, RuntimeServices& runtime) {
  window.SetLineX1(ToLineIndex(line), 0.0f);
  window.SetLineX2(ToLineIndex(line), static_cast<float>(window.Width()));
  window.SetLineY1(ToLineIndex(line), RandomHeight(window, runtime));
  window.SetLineY2(ToLineIndex(line), RandomHeight(window, runtime));
}

}  // namespace

void LoadEffect(EffectState& state, WindowOperations& window, RuntimeServices& runtime) {
  window.SetHeight(runtime.PrimaryScreenSize().height);
  window.SetWidth(runtime.PrimaryScreenSize().width);
  window.SetTop(0);
  window.SetLeft(0);

  state = ReadCommand(runtime.CommandLine());

  const std::int32_t last = state.ZanCount;  // the bound is taken once
  for (std::int32_t line = 0; line <= last; line = CheckedIncrement(line)) {
    window.SetLineColor(ToLineIndex(line), state.ZanColor);
  }
}

void TickEffect(EffectState& state, WindowOperations& window, RuntimeServices& runtime) {
  if (state.ZanWait != 0) {
    state.ZanWait = CheckedDecrement(state.ZanWait);
    return;
  }

  const std::int32_t next = state.ZanCount;
  if (next >= 0) {
    PlaceLine(next, window, runtime);
  } else if (next == kFloodCount) {
    window.SetBackground(state.ZanColor);
  } else if (next <= kEndCount) {
    runtime.EndProgram();
    return;
  }
  state.ZanCount = CheckedDecrement(state.ZanCount);
}

}  // namespace slash
