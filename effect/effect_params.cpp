#include "effect/effect_params.h"

#include <algorithm>

#include "runtime/number_services.h"
#include "runtime/text_services.h"

namespace slash {

EffectState ReadCommand(std::string_view text) {
  EffectState state;  // count 12, wait 12, red

  // The count is read only from the text up to and including the first
  // space; a text without a space keeps the default count.
  const std::size_t space = FindText(text, " ");
  if (space != 0) {
    const std::string prefix = TextPrefix(text, space);
    const double value = ReadLeadingNumber(prefix);
    state.ZanCount = std::min(RoundToInt32(value, LeadingNumberText(prefix)), kHighestLine);
  }

  for (const ColorWord& entry : ColorWords) {
    if (FindText(text, entry.word) != 0) {
      state.ZanColor = entry.color;
      break;
    }
  }
  return state;
}

}  // namespace slash
