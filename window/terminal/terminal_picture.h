#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "effect/effect_params.h"
#include "window/effect_scene.h"

namespace slash {

// What a character cell shows of its pixels: nothing (black), the upper,
// the lower or both, as the half and full blocks draw them. With one pixel
// a cell, a lit cell is kFull.
enum class CellGlyph : std::uint8_t { kBlank, kUpper, kLower, kFull };

// One character cell: black, or a glyph in `color` over black.
struct TerminalCell {
  CellGlyph glyph = CellGlyph::kBlank;
  EffectColor color = kBlack;
  bool operator==(const TerminalCell&) const = default;
};

// The cells of the whole terminal, row by row. An empty grid stands for a
// screen whose content is not known.
struct CellGrid {
  int columns = 0;
  int rows = 0;
  std::vector<TerminalCell> cells;
  bool operator==(const CellGrid&) const = default;
};

// The cell for two pixels, one above the other; a black pixel is unlit.
// Two lit pixels of different colours take the upper one's.
TerminalCell CellFor(EffectColor upper, EffectColor lower);

// The scene on `columns` x `rows` cells of `pixels_per_cell` (1 or 2)
// pixels each, one above the other: the pixels every other back end
// lights on a screen of columns x (rows * pixels_per_cell).
CellGrid SceneCells(const EffectScene& scene, int columns, int rows, int pixels_per_cell);

// How the terminal is written to.
struct CellEncoding {
  bool true_color = false;  // 24-bit colour; else the 16 ANSI colours
  bool blocks = true;       // UTF-8 half blocks; else a lit cell is a coloured space
  // The terminal's own cursor addressing, to a 0-based row and column.
  std::function<std::string(int row, int column)> move;
  // The terminal's control that repeats the character just written `more`
  // times; empty where the terminal has none.
  std::function<std::string(int more)> repeat;
};

// The colour sequence that paints a cell's glyph (`foreground`) or its
// ground in `color`. In 16 colours a colour is its bright ANSI one (bright
// red for red, ...), black the plain one.
std::string ColorSequence(EffectColor color, bool foreground, bool true_color);

// The bytes that turn what the terminal shows (`shown`) into `wanted`:
// each row's changed cells in runs (unchanged gaps of up to two cells are
// written again rather than moved over), each run one cursor move, a
// colour only where it changes, and a cell repeated with the terminal's
// repeat where that is shorter than writing it again. Against an unknown screen (`shown` empty
// or of another size) every cell is written, after a CAN that ends any
// control sequence left unfinished.
std::string EncodeChanges(const CellGrid& shown, const CellGrid& wanted,
                          const CellEncoding& encoding);

}  // namespace slash
