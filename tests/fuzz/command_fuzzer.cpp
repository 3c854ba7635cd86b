// libFuzzer target: arbitrary bytes as the command line. The text services
// must take any bytes, and every command line either raises the overflow
// error or yields a state that the sequence runs to its end.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "../recording_window.h"
#include "effect/effect_params.h"
#include "effect/slash_sequence.h"
#include "runtime/process_runtime.h"
#include "runtime/runtime_error.h"
#include "runtime/text_services.h"

namespace {

[[noreturn]] void Violated(const char* invariant) {
  std::fprintf(stderr, "invariant violated: %s\n", invariant);
  std::abort();
}

void Check(bool holds, const char* invariant) {
  if (!holds) Violated(invariant);
}

bool IsColorWord(slash::EffectColor color) {
  for (const auto& entry : slash::ColorWords) {
    if (entry.color == color) return true;
  }
  return false;
}

void ExerciseTextServices(std::string_view text) {
  const std::size_t characters = slash::DecodeCharacters(text).size();
  Check(characters <= text.size(), "no more characters than bytes");
  const std::size_t position = slash::FindText(text, " ");
  Check(position <= characters, "a found position lies inside the text");
  const std::string prefix = slash::TextPrefix(text, position);
  Check(text.substr(0, prefix.size()) == prefix, "a prefix is a prefix");
  Check(slash::TextPrefix(text, characters) == text, "all characters are the whole text");
}

// Runs the load and every tick; returns how many ticks it took to end.
int RunSequence(const std::string& command_line, slash::EffectState& state) {
  std::uint64_t now = 0;
  slash::ProcessRuntime runtime(
      command_line,
      [] {
        return slash::ScreenSize{64, 48};
      },
      [&now] { return now += 1000; });
  slash::RecordingWindow window;
  slash::LoadEffect(state, window, runtime);
  const slash::EffectState loaded = state;
  Check(loaded.ZanCount <= 99, "the count is at most 99");
  Check(loaded.ZanWait == 12, "the wait is 12");
  Check(IsColorWord(loaded.ZanColor), "the colour is a colour word's");
  int ticks = 0;
  while (!runtime.Ended()) {
    Check(++ticks <= 21 + 99, "the run ends within 21 + 99 ticks");
    slash::TickEffect(state, window, runtime);
  }
  for (const slash::SlashLine& line : window.scene().Lz) {
    if (!line.placed) continue;
    Check(line.x1 == 0.0f && line.x2 == 64.0f, "a line spans the window");
    Check(line.y1 >= 0.0f && line.y1 < 48.0f && line.y2 >= 0.0f && line.y2 < 48.0f,
          "a line's ends lie inside the window");
  }
  return ticks;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string command_line(reinterpret_cast<const char*>(data), size);
  ExerciseTextServices(command_line);
  slash::EffectState state;
  try {
    RunSequence(command_line, state);
  } catch (const slash::RuntimeError& error) {
    Check(error.kind() == slash::RuntimeErrorKind::kOverflow, "only the overflow error is raised");
  }
  return 0;
}
