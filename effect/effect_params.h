#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace slash {

// A 24-bit colour laid out as 0x00BBGGRR: red in the low byte.
using EffectColor = std::uint32_t;

constexpr EffectColor kBlack = 0x000000;
constexpr EffectColor kRed = 0x0000FF;

// The whole state of a run, carried by the window.
struct EffectState {
  std::int32_t ZanCount = 12;  // next line to place; then the phase counter
  EffectColor ZanColor = kRed;
  std::int32_t ZanWait = 12;  // start delay left, in ticks
};

// The highest line index: the line array has 100 members.
constexpr std::int32_t kHighestLine = 99;

struct ColorWord {
  std::string_view word;
  EffectColor color;
};

// Tested in this order; the first word found anywhere in the text wins.
inline constexpr std::array<ColorWord, 5> ColorWords{{
    {"red", 0x0000FF},
    {"yellow", 0x00FFFF},
    {"blue", 0xFF0000},
    {"green", 0x00FF00},
    {"white", 0xFFFFFF},
}};

// Reads the command line: an optional number ended by the first space gives
// ZanCount (at most 99), and the first colour word found gives ZanColor.
// Raises the overflow error when the number does not fit in 32 bits.
EffectState ReadCommand(std::string_view text);

}  // namespace slash
